# Every target of the tree compiles warning-free; a warning fails the build.
add_compile_options(-Wall -Wextra -Werror -Wno-missing-field-initializers)
