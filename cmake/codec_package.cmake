# The codec as an installable library: `make install` puts the static
# library, its one public header, a CMake package (find_package(huffman),
# target huffman::codec) and a pkg-config file under PREFIX, beside the
# program.  All of it is the `codec` install component, so that it can be
# installed alone (cmake --install BUILD --component codec).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(huffman_codec PROPERTIES EXPORT_NAME codec OUTPUT_NAME huffman)
install(TARGETS huffman_codec EXPORT huffmanTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT codec)
install(FILES ${PROJECT_SOURCE_DIR}/include/huffman/codec.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/huffman
        COMPONENT codec)

set(k_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/huffman)
install(EXPORT huffmanTargets NAMESPACE huffman:: DESTINATION ${k_package_dir} COMPONENT codec)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/huffmanConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/huffmanConfig.cmake INSTALL_DESTINATION ${k_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/huffmanConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/huffmanConfig.cmake ${PROJECT_BINARY_DIR}/huffmanConfigVersion.cmake
        DESTINATION ${k_package_dir} COMPONENT codec)

# The prefix as found from the .pc file's own folder, so that an install
# under another --prefix (or DESTDIR) still finds its header and library.
file(RELATIVE_PATH k_pc_up /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" k_pc_up "${k_pc_up}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/huffman.pc.in ${PROJECT_BINARY_DIR}/huffman.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/huffman.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT codec)
