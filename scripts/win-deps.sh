#!/usr/bin/env bash
# Cross-builds, from Debian's own source packages, what the Windows program
# needs: Qt 6 (qt6-base, the host Qt's version) and MariaDB Connector/C (the
# libmariadb folder of the mariadb source), for x86_64-w64-mingw32.
# They go into a cache outside the checkout, keyed by the Qt and compiler
# versions, and are reused by every later run on this machine; a complete
# cache costs nothing. Prints the cache folder on its last line.
# Environment: CATRACA_WIN_CACHE (default /var/cache/catraca-win),
# WIN_DEPS_JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
toolchain=$project/cmake/mingw-w64.cmake

CACHE_ROOT=${CATRACA_WIN_CACHE:-/var/cache/catraca-win}
JOBS=${WIN_DEPS_JOBS:-2}
CXX=x86_64-w64-mingw32-g++-posix
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo

qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
if [ -z "$qt_version" ] || ! command -v "$CXX" >/dev/null; then
  echo "win-deps: qt6-base-dev or $CXX missing (run scripts/install-deps.sh)" >&2
  exit 1
fi
gcc_version=$("$CXX" -dumpfullversion)
mingw_version=$(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev)
# Bumped whenever the build options change.
options_version=3
key="qt${qt_version//:/_}-gcc${gcc_version}-mingw${mingw_version}-o${options_version}"
PREFIX=$CACHE_ROOT/$key
mkdir -p "$CACHE_ROOT/src" "$PREFIX"

# Two runs at once (two checkouts) would build into the same folders.
exec 9>"$CACHE_ROOT/.lock"
flock 9

# The Firebird client is loaded at run time: only its header is needed, and
# the one of Debian's firebird-dev serves MinGW as well.
if [ ! -f "$PREFIX/firebird/include/ibase.h" ]; then
  mkdir -p "$PREFIX/firebird/include"
  cp /usr/include/ibase.h /usr/include/iberror.h "$PREFIX/firebird/include/"
fi

if [ -f "$PREFIX/qt/.complete" ] && [ -f "$PREFIX/mariadb/.complete" ]; then
  echo "win-deps: cache complete ($(cat "$PREFIX/qt/.complete"); $(cat "$PREFIX/mariadb/.complete"))"
  echo "$PREFIX"
  exit 0
fi

run_low() { nice -n 19 ionice -c3 "$@"; }
started=$(date +%s)

# apt-get source needs a deb-src entry for the main archive's suites (the
# first entry: bookworm, bookworm-updates). The security archive's pool is
# not reachable from every mirror, so it stays out.
ensure_sources() {
  local list=/etc/apt/sources.list.d/catraca-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "win-deps: adding a deb-src entry ($list)" >&2
    sed -n '/^$/q;s/^Types:.*/Types: deb-src/;p' /etc/apt/sources.list.d/debian.sources \
      | $SUDO tee "$list" >/dev/null
    $SUDO apt-get update -qq
  fi
}

# apt-get source downloads into the current folder; a complete download is kept.
fetch_source() { # package [version] -> prints the orig tarball's path
  local pkg=$1 version=${2:-} tarball
  tarball=$(ls "$CACHE_ROOT/src/${pkg}_"*.orig.tar.* 2>/dev/null | head -n1 || true)
  if [ -z "$tarball" ]; then
    ensure_sources
    # Only the original tarball is used; the .dsc and Debian's changes are left beside it.
    (cd "$CACHE_ROOT/src" && apt-get source -qq --download-only "$pkg${version:+=$version}" >&2)
    tarball=$(ls "$CACHE_ROOT/src/${pkg}_"*.orig.tar.* | head -n1)
  fi
  echo "$tarball"
}

# Configures, builds and installs one CMake project for Windows at low
# priority, with its logs in the work folder.
cmake_project() { # name source prefix cmake-options...
  local name=$1 source=$2 prefix=$3 logs=$CACHE_ROOT/work/$1
  shift 3
  run_low cmake -S "$source" -B "$source/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" \
    >"$logs-configure.log" 2>&1 || { tail -n 40 "$logs-configure.log" >&2; return 1; }
  run_low cmake --build "$source/build" -j "$JOBS" >"$logs-build.log" 2>&1 \
    || { grep -m5 -B2 -A10 'FAILED\|error:' "$logs-build.log" >&2; return 1; }
  run_low cmake --install "$source/build" --strip >"$logs-install.log" 2>&1 \
    || { tail -n 20 "$logs-install.log" >&2; return 1; }
}

build_qt() {
  local t0 tarball work=$CACHE_ROOT/work/qt
  t0=$(date +%s)
  tarball=$(fetch_source qt6-base "$qt_version")
  echo "win-deps: building Qt $qt_version for Windows (12 to 30 min on 2 cores) in $work"
  rm -rf "$work" "$PREFIX/qt"
  mkdir -p "$work"
  run_low tar -xf "$tarball" -C "$work" --strip-components=1
  # A tray program gains nothing from -O2 (or Core's and Gui's -O3) over -O1,
  # and on two cores the difference is a quarter of the build.
  sed -i -e 's/set(QT_CFLAGS_OPTIMIZE "-O2")/set(QT_CFLAGS_OPTIMIZE "-O1")/' \
    -e 's/set(QT_CFLAGS_OPTIMIZE_FULL "-O3")/set(QT_CFLAGS_OPTIMIZE_FULL "-O1")/' \
    "$work/cmake/QtCompilerOptimization.cmake"
  # Only what the program and its tests load. Debian's source lacks
  # src/3rdparty/wintab: without the tablet feature the Windows plugin does
  # not need it. OpenGL stays on ("dynamic" on Windows): 6.4.2's Windows
  # plugin does not compile without it. Off besides: the Direct2D platform
  # plugin (through direct2d1_1: with direct2d itself off, QtGui leaves out
  # the DirectWrite font database the Windows plugin links against), image
  # formats other than PNG (with the bundled libjpeg), TLS, TUIO touch and the
  # network-list plugin; the widgets, dialogs, text formats and network
  # parts no window or test of the program uses (graphics view, docks, file
  # and font dialogs, PDF, Markdown, HTTP, proxies, UDP). The main window,
  # its tool bar, the input dialog and the tab widget stay: 6.4.2's QtWidgets
  # and its Vista style do not compile without them.
  cmake_project qt "$work" "$PREFIX/qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_dtls=OFF -DFEATURE_system_zlib=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_opengl=ON \
    -DFEATURE_direct2d1_1=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF \
    -DFEATURE_schannel=OFF -DFEATURE_ssl=OFF -DFEATURE_tuiotouch=OFF \
    -DFEATURE_networklistmanager=OFF \
    -DFEATURE_graphicsview=OFF -DFEATURE_mdiarea=OFF -DFEATURE_calendarwidget=OFF \
    -DFEATURE_datetimeedit=OFF -DFEATURE_dial=OFF -DFEATURE_lcdnumber=OFF \
    -DFEATURE_fontcombobox=OFF -DFEATURE_fontdialog=OFF -DFEATURE_colordialog=OFF \
    -DFEATURE_filedialog=OFF -DFEATURE_wizard=OFF -DFEATURE_undoview=OFF \
    -DFEATURE_syntaxhighlighter=OFF -DFEATURE_textbrowser=OFF -DFEATURE_splashscreen=OFF \
    -DFEATURE_keysequenceedit=OFF -DFEATURE_toolbox=OFF -DFEATURE_columnview=OFF \
    -DFEATURE_tablewidget=OFF -DFEATURE_treewidget=OFF -DFEATURE_datawidgetmapper=OFF \
    -DFEATURE_dockwidget=OFF -DFEATURE_statusbar=OFF -DFEATURE_splitter=OFF \
    -DFEATURE_errormessage=OFF -DFEATURE_commandlinkbutton=OFF \
    -DFEATURE_progressdialog=OFF \
    -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_textmarkdownreader=OFF \
    -DFEATURE_textmarkdownwriter=OFF -DFEATURE_movie=OFF -DFEATURE_undocommand=OFF \
    -DFEATURE_http=OFF -DFEATURE_networkdiskcache=OFF -DFEATURE_udpsocket=OFF \
    -DFEATURE_dnslookup=OFF -DFEATURE_topleveldomain=OFF -DFEATURE_networkproxy=OFF
  steps=$(grep -o '^\[[0-9]*/[0-9]*\]' "$CACHE_ROOT/work/qt-build.log" | tail -n1 | tr -d '[]' | cut -d/ -f2)
  rm -rf "$work"
  echo "Qt $qt_version built in $(( ($(date +%s) - t0) / 60 )) min $(( ($(date +%s) - t0) % 60 )) s, ${steps:-?} build steps" \
    >"$PREFIX/qt/.complete"
  echo "win-deps: $(cat "$PREFIX/qt/.complete")"
}

build_mariadb() {
  local t0 tarball work=$CACHE_ROOT/work/mariadb version
  t0=$(date +%s)
  tarball=$(fetch_source mariadb)
  version=$(basename "$tarball" | sed 's/^mariadb_\(.*\)\.orig\.tar\..*/\1/')
  echo "win-deps: building MariaDB Connector/C for Windows from $(basename "$tarball")"
  rm -rf "$work" "$PREFIX/mariadb"
  mkdir -p "$work"
  # The server source is large: only the client library's folder is needed.
  run_low tar -xf "$tarball" -C "$work" --strip-components=1 --wildcards '*/libmariadb/*'
  cmake_project mariadb "$work/libmariadb" "$PREFIX/mariadb" \
    -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF -DWITH_CURL=OFF \
    -DCLIENT_PLUGIN_AUTH_GSSAPI_CLIENT=OFF -DCLIENT_PLUGIN_REMOTE_IO=OFF
  rm -rf "$work"
  echo "Connector/C ${version:-?} built in $(( $(date +%s) - t0 )) s" >"$PREFIX/mariadb/.complete"
  echo "win-deps: $(cat "$PREFIX/mariadb/.complete")"
}

[ -f "$PREFIX/mariadb/.complete" ] || build_mariadb >&2
[ -f "$PREFIX/qt/.complete" ] || build_qt >&2
echo "win-deps: done in $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s" >&2
echo "$PREFIX"
