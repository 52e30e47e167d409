#!/usr/bin/env bash
# Builds the Windows release of this commit and packs it:
#
#   dist/launcher-VERSION-windows-ARCH.zip        launcher.exe, launcher-admin.exe,
#                                                 operators.md, SHA256SUMS
#   dist/launcher-VERSION-windows-ARCH-debug.zip  launcher.exe.debug, launcher-admin.exe.debug
#
# VERSION is project(launcher VERSION ...) in CMakeLists.txt; ARCH is x86 for 32-bit
# programs, x64 for 64-bit ones. The build is reproducible: SOURCE_DATE_EPOCH is the
# commit's time, so the same commit gives the same unsigned bytes in any folder at any
# time (scripts/test-release.sh checks it).
#
# Environment:
#   SIGN_PKCS12=FILE.p12 SIGN_PASSWORD_FILE=FILE   sign both programs (Authenticode,
#                                                   SHA-256) with osslsigncode
#   SIGN_PKCS11_MODULE=MODULE.so SIGN_PKCS11_CERT=ID SIGN_PKCS11_KEY=ID
#                                                   sign with a key on a token instead
#                                                   (SIGN_PASSWORD_FILE holds the PIN)
#   SIGN_TIMESTAMP_URL=URL                          an RFC 3161 time-stamp server
#   LAUNCHER_COMPANY_NAME, LAUNCHER_PRODUCT_NAME    the programs' publisher and product
#   BUILD_DIR (build-windows/), DIST_DIR (dist/)
# Without a key the release is unsigned and says so.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows}
dist=${DIST_DIR:-$repo/dist}
programs=(launcher.exe launcher-admin.exe)

log() { echo "release: $*" >&2; }
die() { log "$*"; exit 1; }

# One time for everything: the programs' PE time stamps (the linker reads it), the
# copyright year and the times in the zips.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  log "warning: the work tree has changes that are not committed; this release is not the commit's"
fi

signing=none
if [ -n "${SIGN_PKCS12:-}" ] || [ -n "${SIGN_PKCS11_MODULE:-}" ]; then
  command -v osslsigncode >/dev/null || die "signing needs osslsigncode (apt-get install osslsigncode)"
  if [ -z "${SIGN_PASSWORD_FILE:-}" ] || [ ! -r "$SIGN_PASSWORD_FILE" ]; then
    die "SIGN_PASSWORD_FILE must name a readable file holding the key's password or PIN"
  fi
  if [ -n "${SIGN_PKCS12:-}" ]; then
    [ -r "$SIGN_PKCS12" ] || die "SIGN_PKCS12: cannot read $SIGN_PKCS12"
    signing=pkcs12
  else
    if [ -z "${SIGN_PKCS11_CERT:-}" ] || [ -z "${SIGN_PKCS11_KEY:-}" ]; then
      die "SIGN_PKCS11_MODULE needs SIGN_PKCS11_CERT and SIGN_PKCS11_KEY"
    fi
    signing=pkcs11
  fi
fi

cmake_args=()
[ -z "${LAUNCHER_COMPANY_NAME:-}" ] || cmake_args+=("-DLAUNCHER_COMPANY_NAME=$LAUNCHER_COMPANY_NAME")
[ -z "${LAUNCHER_PRODUCT_NAME:-}" ] || cmake_args+=("-DLAUNCHER_PRODUCT_NAME=$LAUNCHER_PRODUCT_NAME")
BUILD_DIR=$build bash "$repo/scripts/build-windows.sh" release "${cmake_args[@]}"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || die "no project version in $build/CMakeCache.txt"
case $(objdump -f "$build/launcher.exe" 2>/dev/null | sed -n 's/.*file format //p' | head -n1) in
  pei-i386) arch=x86 ;;
  pei-x86-64) arch=x64 ;;
  *) die "$build/launcher.exe is no Windows program objdump knows" ;;
esac
name=launcher-$version-windows-$arch

# What is shipped names no folder of this machine.
deps=$(sed -n 's/^LAUNCHER_WINDOWS_DEPS:PATH=//p' "$build/CMakeCache.txt")
for program in "${programs[@]}"; do
  for folder in "$repo" "$build" ${deps:+"$deps"}; do
    if grep -qaF "$folder" "$build/$program" "$build/$program.debug"; then
      die "$program or its debug file names $folder: the build is not reproducible"
    fi
  done
done

stage=$build/release-stage
rm -rf "$stage"
mkdir -p "$stage/$name" "$stage/$name-debug" "$dist"
for program in "${programs[@]}"; do
  cp "$build/$program.debug" "$stage/$name-debug/"
  if [ $signing = none ]; then
    cp "$build/$program" "$stage/$name/"
    continue
  fi
  # Signing comes last: the signature covers the finished program, and removing it
  # gives back the reproducible bytes (osslsigncode remove-signature).
  sign=(osslsigncode sign -h sha256 -readpass "$SIGN_PASSWORD_FILE")
  if [ $signing = pkcs12 ]; then
    sign+=(-pkcs12 "$SIGN_PKCS12")
  else
    sign+=(-pkcs11module "$SIGN_PKCS11_MODULE" -pkcs11cert "$SIGN_PKCS11_CERT" -key "$SIGN_PKCS11_KEY")
  fi
  [ -z "${SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$SIGN_TIMESTAMP_URL")
  "${sign[@]}" -n "$(sed -n 's/^LAUNCHER_PRODUCT_NAME:STRING=//p' "$build/CMakeCache.txt")" \
    -in "$build/$program" -out "$stage/$name/$program" >"$stage/sign.log" 2>&1 ||
    { cat "$stage/sign.log" >&2; die "signing $program failed"; }
done
cp "$repo/docs/operators.md" "$stage/$name/"
(cd "$stage/$name" && sha256sum "${programs[@]}" operators.md | sort -k2 >SHA256SUMS)

# pack FOLDER ZIP: a zip that is the same for the same files: sorted names, the commit's
# time in UTC, fixed modes, no extra fields (uid, gid, Unix times).
pack() {
  local folder=$1 zip=$2 tmp
  tmp=$(dirname "$zip")/.$(basename "$zip").tmp
  rm -f "$tmp"
  chmod 0644 "$folder"/*
  touch -d "@$SOURCE_DATE_EPOCH" "$folder"/*
  (cd "$folder" && find . -maxdepth 1 -type f -printf '%P\n' | sort | zip -X -D -q "$tmp" -@)
  mv -f "$tmp" "$zip"
}
pack "$stage/$name" "$dist/$name.zip"
pack "$stage/$name-debug" "$dist/$name-debug.zip"

for program in "${programs[@]}"; do
  log "$program: $(stat -c %s "$stage/$name/$program") bytes"
done
if [ $signing = none ]; then
  log "UNSIGNED: set SIGN_PKCS12 and SIGN_PASSWORD_FILE to sign the programs"
else
  log "signed ($signing, SHA-256${SIGN_TIMESTAMP_URL:+, time-stamped})"
fi
log "$dist/$name.zip"
log "$dist/$name-debug.zip"
