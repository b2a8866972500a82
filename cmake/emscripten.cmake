# Build for the browser with Debian's emscripten: emscripten's own toolchain
# file, plus what this machine needs.
#
#   cmake -S . -B build/web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
#
# - emcc's JavaScript optimiser (run at link time) needs Debian's acorn
#   module, which Node.js finds only with NODE_PATH=/usr/share/nodejs: every
#   link runs through env with it.
# - WebAssembly SIMD (-msimd128): the engine's vector types map to it. The
#   numbers stay exact: no fast-math, no fused multiply-add (the top-level
#   options), and wasm has no wider floating-point registers to round in.
# - Programs for Node.js (plimbar-render) carry their module inside the .js
#   (the runtime would fetch a separate .wasm, which Node's fetch cannot) and
#   see the real file system.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

set(PLIMBAR_NODE_PATH /usr/share/nodejs CACHE PATH "Where Node.js finds Debian's acorn for emcc")
set(CMAKE_C_LINKER_LAUNCHER /usr/bin/env NODE_PATH=${PLIMBAR_NODE_PATH})
set(CMAKE_CXX_LINKER_LAUNCHER /usr/bin/env NODE_PATH=${PLIMBAR_NODE_PATH})

set(CMAKE_C_FLAGS_INIT "-msimd128")
set(CMAKE_CXX_FLAGS_INIT "-msimd128")
# Executables are Node.js programs unless a target says otherwise (the page's
# module sets its own link options in web/).
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-sSINGLE_FILE=1 -sNODERAWFS=1 -sENVIRONMENT=node -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/node)
