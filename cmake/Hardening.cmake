# The hardening Debian builds its own packages with (dpkg-buildflags with
# DEB_BUILD_MAINT_OPTIONS=hardening=+all, and the stack clash and control-flow
# protection that dpkg adds after Debian 12's 1.21), written out here so that
# every machine builds with the same flags. Included before any target is
# defined, so it reaches all of them: the program, its library, tests
# and benchmarks.
if(NOT TESMIC_HARDEN)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

check_pie_supported(OUTPUT_VARIABLE tesmic_pie_output LANGUAGES CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(FATAL_ERROR "TESMIC_HARDEN: the linker cannot make position "
          "independent executables:\n${tesmic_pie_output}\n"
          "Configure with -DTESMIC_HARDEN=OFF to build without hardening.")
endif()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# That also compiles the static libraries with -fPIC, under which any global
# function may be replaced at load time, so GCC does not inline it: the pass
# would call its per-pixel helper on every row. Nothing here is a shared
# library, so nothing can replace our functions.
add_compile_options(-fno-semantic-interposition)

add_compile_options(-fstack-protector-strong -Werror=format-security)
# Both exist only on some architectures (-fcf-protection on x86 alone).
foreach(tesmic_flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "TESMIC_HAVE${tesmic_flag}" tesmic_have_flag)
  check_cxx_compiler_flag(${tesmic_flag} ${tesmic_have_flag})
  if(${tesmic_have_flag})
    add_compile_options(${tesmic_flag})
  endif()
endforeach()
add_link_options(LINKER:-z,relro LINKER:-z,now)

# Fortification needs optimisation (GCC warns without it). The sanitizers
# do not intercept the checked __*_chk functions it substitutes, so under
# them it would hide the very overflows they are there to find. -U first:
# some compilers define it already, and a redefinition is a warning.
if(NOT TESMIC_SANITIZE)
  set(tesmic_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_compile_options("$<${tesmic_optimised}:-U_FORTIFY_SOURCE>"
                      "$<${tesmic_optimised}:-D_FORTIFY_SOURCE=2>")
endif()
