# The Windows build's settings: the Windows 10 API in UTF-16, and programs
# linked statically (libgcc, libstdc++, winpthread) that import only what
# every Windows has.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_link_options(-static $<$<CONFIG:Release,MinSizeRel>:-s>)
