# Every target of the tree compiles warning-free; a warning fails the build.
add_compile_options(-Wall -Wextra -Werror -Wno-missing-field-initializers)
# GCC 12 reports std::string::insert/replace inlined at -O2 as overlapping memcpy
# (a known false positive of -Wrestrict in libstdc++ 12); it is no fault of ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
