# Hardening, as Debian builds its programs, for every backend and toolchain: a stack protector,
# checked string and output calls, format checks, and relocations made read-only at start.
# Position-independent executables stay the compilers' default.
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# The checked calls need optimisation, and the sanitizers check those calls themselves.
# Undefined first, for compilers that define it already.
if(NOT RANGEFINDER_SANITIZE)
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(-Wl,-z,relro,-z,now)
