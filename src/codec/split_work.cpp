#include "codec/split_work.h"

namespace huffman {

SplitWork::SplitWork(Worker& helper) : worker(helper), second_sink(k_sink_bytes), second_writer(second_sink) {}

void SplitWork::Count(Census& census, std::span<const std::uint8_t> block) {
  const auto first = block.first(block.size() / 2);
  const auto second = block.subspan(first.size());
  Histogram second_counts;
  worker.Start([&] { second_counts = CountBytes(second); });
  census.Add(first);
  worker.Wait();
  census.AddCounted(second, second_counts);
}

bool SplitWork::Encode(const Encoder& encoder, std::span<const std::uint8_t> block, BitWriter& writer) {
  const auto first = block.first(block.size() / 2);
  const auto second = block.subspan(first.size());
  second_sink.Clear();
  second_writer.Reset();
  bool second_known = true;
  worker.Start([&] { second_known = encoder.Encode(second, second_writer); });
  const bool first_known = encoder.Encode(first, writer);
  worker.Wait();
  writer.Append(second_sink.Kept(), second_writer);
  return first_known && second_known;
}

}  // namespace huffman
