#!/usr/bin/env bash
# The main job: sets up, builds and runs the demo shift through the library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if [ -x build/tarv ]; then
  exec build/tarv demo "$@"
fi
# Until the tool exists: the library's version through its C ABI.
printf '#include <stdio.h>\n#include "tarv_core.h"\nint main(void){uint32_t n;uint8_t f;const char*v=tarvcore_get_version(&n,&f);printf("tarv_core %%.*s\\n",(int)n,v);return 0;}\n' > build/version.c
cc -Iinclude build/version.c -Lbuild -ltarv_core -Wl,-rpath,"$PWD/build" -o build/version
exec build/version
