# Builds the portable backend as a 32-bit Linux program (gcc -m32), as the
# product runs on 32-bit Windows. Needs g++-multilib and the i386 SQLite
# library (libsqlite3-0:i386); the headers are the host's.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Only the runtime library is there for i386 (no libsqlite3.so link).
set(SQLite3_INCLUDE_DIR /usr/include CACHE PATH "")
set(SQLite3_LIBRARY /usr/lib/i386-linux-gnu/libsqlite3.so.0 CACHE FILEPATH "")
# Where the kernel cannot run 32-bit programs, pass an emulator
# (-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386-static) for the tests.
# pkg-config answers for i386 alone (a host's 64-bit hivex would not link).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig)
