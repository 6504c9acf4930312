#include "console/failure.h"

#include <cerrno>

#include "platform/display_name.h"
#include "platform/system_errors.h"

namespace huffman {
namespace {

// The system's reason in the screens' language; nothing for the rare ones.
const char* ReasonText(int error) {
  if (IsOutOfSpace(error)) return "brak miejsca na dysku";
  switch (error) {
    case ENOENT:
      return "plik nie istnieje";
    case EISDIR:
      return "to jest katalog";
    case EACCES:
    case EPERM:
      return "brak uprawnien";
    case EFBIG:
      return "plik jest za duzy";
    case ENAMETOOLONG:
      return "nazwa jest za dluga";
    case EROFS:
      return "system plikow tylko do odczytu";
    case EIO:
      return "blad wejscia/wyjscia";
    default:
      return nullptr;
  }
}

std::string WithReason(std::string line, int error) {
  if (const char* reason = ReasonText(error)) {
    line += " (";
    line += reason;
    line += ")";
  }
  return line;
}

// How a checked file is damaged, in the parentheses after its name.
std::string DamageReason(const Failure& failure) {
  const std::string range = std::to_string(failure.damaged_from) + "-" + std::to_string(failure.damaged_to);
  switch (failure.damage) {
    case Damage::content:
      return "zawartosc rozni sie w bajtach " + range + " oryginalu";
    case Damage::length:
      return "kody ciagna sie poza dlugosc oryginalu, w bajtach " + range;
    case Damage::trailer:
      return "dane kontrolne na koncu sa uciete, zmienione albo ich brak";
    case Damage::dictionary:
      return "slownik nie jest tym, dla ktorego powstaly dane kontrolne";
    case Damage::payload_end:
      return "kody nie koncza sie tam, gdzie zaczynaja sie dane kontrolne";
    case Damage::none:
      break;
  }
  return "dane kontrolne nie zgadzaja sie z plikiem";
}

}  // namespace

std::string DescribeFailure(const Failure& failure) {
  const std::string file = DisplayName(failure.file);
  switch (failure.kind) {
    case FailureKind::bad_name:
      return "Niedozwolona nazwa pliku: " + file + " (nowy plik powstaje tylko w tym katalogu)";
    case FailureKind::same_as_source:
      return "Nie mozna zapisac pliku: " + file + " (to jest wybrany plik)";
    case FailureKind::not_a_file:
      return "Nie mozna odczytac pliku: " + file + " (to nie jest zwykly plik)";
    case FailureKind::cannot_read:
      return WithReason("Nie mozna odczytac pliku: " + file, failure.error);
    case FailureKind::cannot_write:
      return WithReason("Nie mozna zapisac pliku: " + file, failure.error);
    case FailureKind::source_changed:
      return "Plik zmienil sie w trakcie kompresji: " + file;
    case FailureKind::not_compressed:
      // A file of one repeated byte by an encoder that stores neither the
      // byte nor the length is well formed, but nothing can restore it.
      if (failure.fault == FormatFault::single_value) {
        return "Nie mozna odtworzyc pliku: " + file + " (nie zawiera ani bajtu, ani dlugosci danych)";
      }
      return "Nie mozna zdekompresowac pliku: " + file + " (to nie jest plik skompresowany albo jest uszkodzony)";
    case FailureKind::damaged:
      return "Plik uszkodzony: " + file + " (" + DamageReason(failure) + ")";
    case FailureKind::out_of_memory:
      return "Brak pamieci do przetworzenia pliku: " + file;
  }
  return "Nieznany blad: " + file;
}

}  // namespace huffman
