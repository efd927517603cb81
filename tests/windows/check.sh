#!/bin/bash
# Builds the Windows program with the "windows" preset (into build/windows)
# and checks it: the PE file's resources, version block, subsystem, image
# version and imports, then a run under Wine (wine_smoke.sh).
# usage: check.sh SOURCE_DIR
# Exits 77 (skipped) when the cross compiler or Wine is not installed.
set -euo pipefail

src=$(cd "${1:?usage: check.sh SOURCE_DIR}" && pwd)
build="$src/build/windows"

for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (see scripts/packages-windows.txt)"
    exit 77
  fi
done

start=$(date +%s%N)
cd "$src"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset windows >/dev/null
fi
cmake --build --preset windows -j"$(nproc)" >/dev/null
echo "cross-build: $(( ($(date +%s%N) - start) / 1000000 )) ms"

exe="$build/app/tavrino1.5.exe"
generated="$build/resources/generated"
python3 "$src/tests/windows/pe_check.py" --self-test
python3 "$src/tests/windows/pe_check.py" "$exe" "$generated/icon32.bin" "$generated/icon16.bin"

maker_host=$(sed -n 's/^TAVRINO_MAKER_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
product_host=$(sed -n 's/^TAVRINO_PRODUCT_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
smoke=("$src/tests/windows/wine_smoke.sh" "$build" "$maker_host" "$product_host")
# Without a network of its own the run cannot reach anything but this
# machine's X server socket.
if [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
  unshare --net "${smoke[@]}"
else
  "${smoke[@]}"
fi
