#!/usr/bin/env bash
# Builds the Windows x64 release: cross-compiles the show and its capture
# program with mingw-w64 against libraries built from Debian's source
# packages (scripts/windows-deps.sh, cached by version), lays out the show
# folder with the data a native build forged, and zips it. The zip's path is
# the last line printed.
# Usage: scripts/build-windows.sh [BUILD_DIR]   (default: build-windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build-windows}")
mkdir -p "$out"
log="$out/build.log"
: >"$log"

step() { echo "== $*" >&2; }
failed() {
  tail -n 40 "$log" >&2
  echo "build-windows: $1 failed; the whole log is $log" >&2
  exit 1
}

step "libraries Windows lacks (built once per source version)"
prefix=$("$root/scripts/windows-deps.sh" "$out" | tail -n 1)

# The data files are forged by native tools; a native build makes them.
native_show="$root/build/show"
step "data, forged by the native build"
"$root/scripts/setup.sh" --show >&2 || failed "the native build of the data"

step "cross-compiling the show and the capture program"
{
  cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQUORLAXEN_WINDOWS_DEPS="$prefix" &&
    cmake --build "$out/build" -j"$(nproc)" --target quorlaxen quorlaxen-capture show_shaders windows-dialog-probe
} >>"$log" 2>&1 || failed "the cross build"

version=$(sed -n 's/^project(quorlaxen VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="quorlaxen-$version-windows-x64"
stage="$out/stage/$name"
step "laying out $name"
rm -rf "$out/stage"
mkdir -p "$stage"
cp "$out/build/show/quorlaxen.exe" "$out/build/show/quorlaxen-capture.exe" "$stage/"
# Symbols stay in the build folder's copies; the release carries none.
x86_64-w64-mingw32-strip "$stage"/*.exe
# The folders the programs read beside their executable.
for dir in music meshes textures; do
  cp -r "$native_show/$dir" "$stage/$dir"
done
cp -r "$out/build/show/cgeffects" "$stage/cgeffects"
sed "s/@VERSION@/$version/" "$root/packaging/windows-readme.txt" | sed 's/$/\r/' >"$stage/README.txt"

# Nothing beyond Windows's own DLLs may be needed.
dlls=$(x86_64-w64-mingw32-objdump -p "$stage"/*.exe | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $dlls; do
  case $dll in
  kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | glu32.dll | winmm.dll | ole32.dll | oleaut32.dll | \
    imm32.dll | version.dll | setupapi.dll | shell32.dll | shlwapi.dll | advapi32.dll | msvcrt.dll | \
    cfgmgr32.dll | dinput8.dll | api-ms-win-*) ;;
  *) failed "the check of the DLLs ($dll is not part of Windows)" ;;
  esac
done

mkdir -p "$out/packages"
zip_file="$out/packages/$name.zip"
rm -f "$zip_file"
(cd "$out/stage" && cmake -E tar cf "$zip_file" --format=zip "$name")
echo "$zip_file"
