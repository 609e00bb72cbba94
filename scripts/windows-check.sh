#!/usr/bin/env bash
# Compiles every source file a Windows build takes (all of src/ but zarnetd's
# src/gateway/) with Debian's MinGW cross compiler, syntax only, warnings as
# errors, against the Qt headers: the Windows branches behind the #ifdefs, which
# the Linux build never sees. Nothing is linked, and Qt's Windows-only headers and
# libraries are not there, so it cannot tell whether the program runs on Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
qt=/usr/include/x86_64-linux-gnu/qt6
# Header-only libraries, without the rest of the Linux system headers.
shim=$(mktemp -d)
trap 'rm -rf "$shim"' EXIT
ln -s /usr/include/CLI "$shim/CLI"
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Isrc -isystem "$shim"
       '-DZARNET_VERSION=\"0\"')
for module in "" QtCore QtGui QtWidgets QtNetwork QtSerialPort QtSerialBus; do
    flags+=(-isystem "$qt/$module")
done
printf '%s\n' "${flags[@]}" > "$shim/flags"
git ls-files 'src/*.cpp' | grep -v '^src/gateway/' > "$shim/sources"
xargs -P "$(nproc)" -n 1 x86_64-w64-mingw32-g++-posix "@$shim/flags" < "$shim/sources"
echo "windows syntax check: $(wc -l < "$shim/sources") files passed"
