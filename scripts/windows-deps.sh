#!/usr/bin/env bash
# Builds the libraries the Windows program links statically, from Debian's own
# packages, into a prefix under ROOT and prints the prefix's path on standard output.
#
#   windows-deps.sh [ROOT]     ROOT defaults to $LAUNCHER_WINDOWS_DEPS_ROOT, else
#                              ${XDG_CACHE_HOME:-$HOME/.cache}/launcher-windows-deps
#
# LAUNCHER_WINDOWS_ARCH chooses the architecture: i686 (the default, the program we
# ship) or x86_64.
#
# - zlib: libz-mingw-w64-dev's static libz.a, with a zlib.pc that names it (the
#   package's own .pc and -lz pick the DLL import library).
# - libcurl (HTTP and HTTPS over Schannel only), minizip and libsodium: built from
#   Debian's source packages with Debian's patches that change sources; patches that
#   change the build system (configure.ac, Makefile.am, ...) are packaging and skipped.
# - SimpleIni: Debian's header. googletest: /usr/src/googletest, built with our
#   toolchain file.
#
# The prefix is named after the architecture and the versions of all of these, of the
# toolchain and of this recipe, so a second run reuses it and any change builds a new one. It is built
# in a temporary folder and renamed when complete: an interrupted build never leaves a
# prefix that counts as done. Its .pc files locate it through ${pcfiledir}, so it
# may be moved.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-${LAUNCHER_WINDOWS_DEPS_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/launcher-windows-deps}}
jobs=${JOBS:-2}
arch=${LAUNCHER_WINDOWS_ARCH:-i686}
case $arch in
  i686 | x86_64) ;;
  *) echo "windows-deps: LAUNCHER_WINDOWS_ARCH is i686 or x86_64, not $arch" >&2; exit 2 ;;
esac
triplet=$arch-w64-mingw32
sysroot=/usr/$triplet
toolchain=$repo/cmake/mingw-w64-$arch.cmake

log() { echo "windows-deps: $*" >&2; }
die() { log "$*"; exit 1; }

installed_version() {
  local v
  v=$(dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null) || v=
  [[ $v == "install ok installed "* ]] || die "package $1 is not installed (run scripts/setup-windows.sh)"
  echo "${v#install ok installed }"
}

# The newest version of a source package that apt knows, which "apt-get source" takes.
source_version() {
  local v best=
  for v in $(apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ { print $2 }'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  [ -n "$best" ] || die "no source package $1: is there a deb-src entry? (run scripts/setup-windows.sh)"
  echo "$best"
}

debian_arch=${arch//_/-}   # Debian's package names: x86-64, i686
toolchain_packages=(libz-mingw-w64-dev googletest libsimpleini-dev "gcc-mingw-w64-$debian_arch-posix"
  "g++-mingw-w64-$debian_arch-posix" "mingw-w64-$debian_arch-dev" "binutils-mingw-w64-$debian_arch"
  autoconf automake libtool)
installed=
for p in "${toolchain_packages[@]}"; do
  installed+="$p $(installed_version "$p")"$'\n'
done
curl_version=$(source_version curl)
minizip_version=$(source_version minizip)
sodium_version=$(source_version libsodium)
manifest=$(cat <<EOF
arch $arch
curl $curl_version
minizip $minizip_version
libsodium $sodium_version
${installed}recipe $(cat "${BASH_SOURCE[0]}" "$toolchain" "$repo/cmake/mingw-w64.cmake" | sha256sum | cut -c1-16)
EOF
)
key=$arch-$(echo "$manifest" | sha256sum | cut -c1-16)
prefix=$root/$key

if [ -d "$prefix" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$root"
exec 9>"$root/.lock"
if ! flock -n 9; then
  log "waiting for another build of the dependencies in $root"
  flock 9
fi
if [ -d "$prefix" ]; then   # built by the one we waited for
  exec 9>&-
  echo "$prefix"
  exit 0
fi
# Whatever temporary folders are left belong to builds that were interrupted.
rm -rf "$root"/.tmp.*

work=$root/.tmp.$key.$$
stage=$work/prefix     # becomes $prefix
mkdir -p "$work/src" "$work/build" "$work/logs" "$stage/lib/pkgconfig" "$stage/include"
trap 'log "failed; logs in $work/logs (removed by the next run)"' ERR

export CC=$triplet-gcc-posix CXX=$triplet-g++-posix AR=$triplet-ar RANLIB=$triplet-ranlib
export CFLAGS="-O2" CXXFLAGS="-O2"
# Nothing of the host's may leak into the cross build.
export PKG_CONFIG_LIBDIR=$stage/lib/pkgconfig:$sysroot/lib/pkgconfig PKG_CONFIG_PATH=
unset PKG_CONFIG_SYSROOT_DIR CPATH C_INCLUDE_PATH CPLUS_INCLUDE_PATH LIBRARY_PATH

log "building into $prefix"
echo "$manifest" | sed 's/^/windows-deps:   /' >&2
times=()
total_start=$(date +%s.%N)

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

# step NAME FUNCTION: runs FUNCTION with its output in logs/NAME.log, timed. It runs
# as a job of its own so that "set -e" holds inside it (a tested command ignores it),
# in a process group of its own so that an interrupted build ends all of it, and
# without the lock, which is this script's alone.
step() {
  local name=$1 start rc=0
  shift
  start=$(date +%s.%N)
  set -m
  ( exec 9>&-; "$@" ) >"$work/logs/$name.log" 2>&1 </dev/null &
  child=$!
  set +m
  wait "$child" || rc=$?
  child=
  if [ "$rc" -ne 0 ]; then
    log "step $name failed; the end of $work/logs/$name.log:"
    tail -n 40 "$work/logs/$name.log" >&2
    return "$rc"
  fi
  times+=("$(printf '%-22s %6s s' "$name" "$(seconds_since "$start")")")
  log "${times[-1]}"
}
child=
trap '[ -z "$child" ] || kill -TERM -- "-$child" 2>/dev/null; exit 130' INT TERM

download_sources() {
  local apt_opts=()
  [ "$(id -u)" -ne 0 ] || apt_opts=(-o APT::Sandbox::User=root)
  cd "$work/src"
  apt-get source --download-only "${apt_opts[@]}" \
    "curl=$curl_version" "minizip=$minizip_version" "libsodium=$sodium_version"
}

# unpack NAME VERSION DIR: Debian's source tree (checksums checked), patches not applied.
unpack() {
  local dsc
  dsc=$(ls "$work/src/$1_${2#*:}.dsc")
  dpkg-source --skip-patches -x "$dsc" "$3"
}

# Applies the patches of debian/patches/series in order, skipping those that change
# the build system or the packaging. Records what it did in the prefix.
apply_source_patches() {
  local dir=$1 name=$2 line patch opts files
  local series=$dir/debian/patches/series
  [ -f "$series" ] || return 0
  while read -r line; do
    line=${line%%#*}
    read -r patch opts <<<"$line" || true
    [ -n "$patch" ] || continue
    files=$(grep -E '^\+\+\+ ' "$dir/debian/patches/$patch" | awk '{ print $2 }' |
      grep -v '^/dev/null$' | sed -E 's#^[^/]+/##' | sort -u)
    if echo "$files" | grep -qE '^debian/|(^|/)(configure|configure\.ac|ltmain\.sh|CMakeLists\.txt)$|\.(am|in|m4|cmake)$'; then
      echo "$name: skipped $patch ($(echo "$files" | tr '\n' ' '))" >>"$stage/share/windows-deps/patches.txt"
      continue
    fi
    patch -d "$dir" -s -F0 -N --no-backup-if-mismatch ${opts:--p1} <"$dir/debian/patches/$patch"
    echo "$name: applied $patch" >>"$stage/share/windows-deps/patches.txt"
  done <"$series"
}

zlib() {
  cp "$sysroot/lib/libz.a" "$stage/lib/"
  cp "$sysroot/include/zlib.h" "$sysroot/include/zconf.h" "$stage/include/"
  local version
  version=$(sed -nE 's/^#define ZLIB_VERSION "([^"]+)".*/\1/p' "$stage/include/zlib.h")
  cat >"$stage/lib/pkgconfig/zlib.pc" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library (static, from libz-mingw-w64-dev)
Version: $version
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
}

minizip() {
  local src=$work/build/minizip obj=$work/build/minizip-obj f
  unpack minizip "$minizip_version" "$src"
  apply_source_patches "$src" minizip
  mkdir -p "$obj" "$stage/include/minizip"
  for f in ioapi unzip zip mztools iowin32; do
    "$CC" $CFLAGS -I"$stage/include" -c "$src/$f.c" -o "$obj/$f.o"
  done
  rm -f "$stage/lib/libminizip.a"
  "$AR" rcs "$stage/lib/libminizip.a" "$obj"/*.o
  cp "$src"/{crypt,ioapi,iowin32,mztools,unzip,zip}.h "$stage/include/minizip/"
  # As Debian's: both <minizip/unzip.h> and <unzip.h> work.
  cat >"$stage/lib/pkgconfig/minizip.pc" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: minizip
Description: Minizip zip file manipulation library (static)
Version: ${minizip_version%%-*}
Requires: zlib
Libs: -L\${libdir} -lminizip
Cflags: -I\${includedir} -I\${includedir}/minizip
EOF
}

curl_configure() {
  local src=$work/build/curl
  unpack curl "$curl_version" "$src"
  apply_source_patches "$src" curl
  cd "$src"
  # HTTP and HTTPS over Schannel, Windows' own threads for the resolver, nothing else.
  ./configure --enable-option-checking=fatal --host=$triplet \
    --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" --prefix="$stage" \
    --disable-shared --enable-static --disable-dependency-tracking \
    --with-schannel --without-openssl --without-gnutls --without-mbedtls \
    --without-wolfssl --without-bearssl --without-rustls --without-nss \
    --with-zlib="$stage" --without-brotli --without-zstd --without-libpsl \
    --without-libidn2 --without-winidn --without-nghttp2 --without-nghttp3 \
    --without-ngtcp2 --without-quiche --without-msh3 --without-hyper \
    --without-libssh2 --without-libssh --without-wolfssh --without-librtmp \
    --without-libgsasl --without-ca-bundle --without-ca-path \
    --enable-http --disable-ftp --disable-file --disable-ldap --disable-ldaps \
    --disable-rtsp --disable-dict --disable-telnet --disable-tftp --disable-pop3 \
    --disable-imap --disable-smb --disable-smtp --disable-gopher --disable-mqtt \
    --disable-websockets --disable-ntlm-wb --disable-pthreads --enable-threaded-resolver \
    --disable-manual
}

curl_build() {
  local src=$work/build/curl
  # The library and its headers only: the tests' Makefiles would try to regenerate
  # themselves from the patched Makefile.inc files.
  make -C "$src/lib" -j"$jobs"
  make -C "$src/lib" install
  make -C "$src/include" install
  make -C "$src" install-pkgconfigDATA
  grep -q -- '-DCURL_STATICLIB' "$stage/lib/pkgconfig/libcurl.pc" ||
    die "libcurl.pc lacks -DCURL_STATICLIB"
}

sodium_configure() {
  local src=$work/build/libsodium
  unpack libsodium "$sodium_version" "$src"
  apply_source_patches "$src" libsodium
  cd "$src"
  # The tarball has no generated build system; Debian's build makes it the same way.
  autoreconf -fi
  ./configure --host=$triplet --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" \
    --prefix="$stage" --disable-shared --enable-static --disable-dependency-tracking
}

sodium_build() {
  local src=$work/build/libsodium pc=$stage/lib/pkgconfig/libsodium.pc
  make -C "$src/src" -j"$jobs"
  make -C "$src/src" install
  make -C "$src" install-pkgconfigDATA
  # A static library only: its own libraries belong in Libs, and its headers must not
  # declare DLL imports.
  local private
  private=$(sed -nE 's/^Libs\.private:[[:space:]]*//p' "$pc")
  sed -i -E -e "s|^(Libs:.*)$|\1 $private|" -e '/^Libs\.private:/d' \
    -e 's|^(Cflags:.*)$|\1 -DSODIUM_STATIC|' "$pc"
}

simpleini() {
  cp /usr/include/SimpleIni.h "$stage/include/"
}

googletest_configure() {
  cmake -S /usr/src/googletest -B "$work/build/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DLAUNCHER_WINDOWS_DEPS="$stage" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_GMOCK=ON \
    -DINSTALL_GTEST=ON
}

googletest_build() {
  cmake --build "$work/build/googletest" -j"$jobs"
  cmake --install "$work/build/googletest"
}

# The .pc files name the prefix relative to themselves, so the renamed prefix works;
# nothing else in the prefix may name the temporary folder.
relocate() {
  local pc
  for pc in "$stage"/lib/pkgconfig/*.pc; do
    sed -i "s|$stage|\${pcfiledir}/../..|g" "$pc"
  done
  rm -f "$stage"/lib/*.la
  rm -rf "$stage/bin" "$stage/share/man"
  if grep -rlF "$stage" "$stage"; then
    die "the files above still name the temporary folder $stage"
  fi
}

mkdir -p "$stage/share/windows-deps"
step download download_sources
step zlib zlib
step minizip minizip
step curl-configure curl_configure
step curl-build curl_build
step libsodium-configure sodium_configure
step libsodium-build sodium_build
step simpleini simpleini
step googletest-configure googletest_configure
step googletest-build googletest_build
step relocate relocate

total=$(seconds_since "$total_start")
times+=("$(printf '%-22s %6s s' total "$total")")
echo "$manifest" >"$stage/share/windows-deps/versions.txt"
printf '%s\n' "${times[@]}" >"$stage/share/windows-deps/build-times.txt"
mv -T "$stage" "$prefix"
trap - ERR
rm -rf "$work"
log "done in $(printf '%.0f' "$total") s: $prefix"
exec 9>&-
echo "$prefix"
