# The warnings every target of this project is built with, as an interface
# library that each target links PRIVATE, so that nothing else built in the
# same tree (a parent project, GoogleTest) inherits them. Warnings become
# errors only when asked: a newer compiler's new warnings must not break a
# packager's build, while CI builds with KORVALEN_WERROR=ON.
include_guard(GLOBAL)
option(KORVALEN_WERROR "Treat compiler warnings as errors" OFF)
add_library(korvalen_warnings INTERFACE)
if(NOT MSVC)
  target_compile_options(korvalen_warnings INTERFACE -Wall -Wextra
    $<$<BOOL:${KORVALEN_WERROR}>:-Werror>)
endif()
