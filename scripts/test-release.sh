#!/usr/bin/env bash
# The release, for CI: builds it with scripts/release.sh (in build-windows/, or BUILD_DIR;
# the zips go to a temporary folder) and checks what a studio ships:
# - the zips hold what they should; the programs are 32-bit, stripped (their debug
#   files name them), under 3 MB, carry the release's version and the commit's time, and
#   name no folder of this machine nor any test hook;
# - reproducible: the programs and debug files built again in another folder, later,
#   are the same bytes;
# - signed with a throwaway CA made here: both programs verify against it, a program
#   with one byte changed does not, and without its signature a program is the
#   unsigned build's bytes.
# Exits non-zero at the first check that fails.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows}
# The second copy: another folder, of another length, under the repository.
again=${REPRO_BUILD_DIR:-$repo/build-windows-repro}
# 32-bit programs, as the players' systems run.
arch=${RELEASE_ARCH:-x86}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

log() { echo "test-release: $*" >&2; }
fail() { log "FAILED: $*"; exit 1; }

dist=$work/dist
DIST_DIR=$dist BUILD_DIR=$build bash "$repo/scripts/release.sh" 2>"$work/release.log" ||
  { cat "$work/release.log" >&2; fail "release.sh"; }
cat "$work/release.log" >&2
grep -q "UNSIGNED" "$work/release.log" || fail "an unsigned release does not say so"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=launcher-$version-windows-$arch
[ -f "$dist/$name.zip" ] || fail "no $name.zip in dist/ ($(ls "$dist"))"
[ -f "$dist/$name-debug.zip" ] || fail "no $name-debug.zip"
listing() { unzip -Z1 "$1" | tr '\n' ' '; }
[ "$(listing "$dist/$name.zip")" = "SHA256SUMS launcher-admin.exe launcher.exe operators.md " ] ||
  fail "$name.zip holds $(listing "$dist/$name.zip")"
[ "$(listing "$dist/$name-debug.zip")" = "launcher-admin.exe.debug launcher.exe.debug " ] ||
  fail "$name-debug.zip holds $(listing "$dist/$name-debug.zip")"
unzip -q "$dist/$name.zip" -d "$work/unsigned"
(cd "$work/unsigned" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"

epoch=$(git -C "$repo" log -1 --format=%ct)
for program in launcher.exe launcher-admin.exe; do
  file=$work/unsigned/$program
  cmp -s "$file" "$build/$program" || fail "the unsigned $program in the zip is not the build's"
  size=$(stat -c %s "$file")
  [ "$size" -lt 3145728 ] || fail "$program is $size bytes, 3 MB or more"
  for folder in "$repo" "$build" "$HOME"; do
    ! grep -qaF "$folder" "$file" || fail "$program names $folder"
  done
  # No test hook: neither message boxes answered by a file nor injected failures.
  for hook in LAUNCHER_TEST_MESSAGE_LOG LAUNCHER_TEST_DEBUG_LOG LAUNCHER_TEST_FAULT; do
    ! grep -qaF "$hook" "$file" || fail "$program holds the test hook $hook"
  done
  # Section names longer than eight characters are kept in the string table: objdump reads them.
  sections=$(objdump -h "$file" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
  ! echo "$sections" | grep -q '^\.debug' || fail "$program is not stripped"
  echo "$sections" | grep -qx '\.gnu_debuglink' || fail "$program does not name its debug file"
  /usr/bin/python3 - "$file" "$version" "$epoch" "$arch" <<'EOF' || fail "$program"
import sys, pefile
path, version, epoch, arch = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
pe = pefile.PE(path)
problems = []
machine = {0x14C: "x86", 0x8664: "x64"}.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
if machine != arch:
    problems.append(f"is {machine}, not {arch}")
if pe.FILE_HEADER.TimeDateStamp != epoch:
    problems.append(f"time stamp {pe.FILE_HEADER.TimeDateStamp}, not the commit's {epoch}")
if pe.FILE_HEADER.NumberOfSymbols:
    problems.append("keeps its symbol table")
strings = {}
for info in getattr(pe, "FileInfo", []):
    for entry in info:
        for table in getattr(entry, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
numbers = ".".join(version.split(".") + ["0"] * (4 - len(version.split("."))))
fixed = pe.VS_FIXEDFILEINFO[0]
fixed_text = "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                              fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
if fixed_text != numbers:
    problems.append(f"FILEVERSION {fixed_text}, not {numbers}")
for key in ("FileVersion", "ProductVersion"):
    if strings.get(key) != numbers:
        problems.append(f"{key} {strings.get(key)!r}, not {numbers}")
for key in ("CompanyName", "ProductName", "LegalCopyright"):
    if not strings.get(key):
        problems.append(f"no {key}")
types = [e.id for e in pe.DIRECTORY_ENTRY_RESOURCE.entries]
if 3 not in types or 14 not in types:
    problems.append("has no icon")
manifest = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 24)
data = manifest.directory.entries[0].directory.entries[0].data.struct
text = pe.get_data(data.OffsetToData, data.Size).decode()
for needed in ("asInvoker", "PerMonitorV2", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
    if needed not in text:
        problems.append(f"its manifest lacks {needed}")
if problems:
    print(f"{path}: " + "; ".join(problems), file=sys.stderr)
    sys.exit(1)
EOF
done
log "the release's programs: $arch, stripped, version $version, under 3 MB, no folder named"

# The debug files belong to the programs: gdb's check of the debug link's CRC-32.
unzip -q "$dist/$name-debug.zip" -d "$work/debug"
for program in launcher.exe launcher-admin.exe; do
  # (objcopy writes an output file even when it only dumps: a throwaway one.)
  objcopy --dump-section .gnu_debuglink="$work/link" "$build/$program" "$work/discard.exe"
  link_crc=$(tail -c 4 "$work/link" | od -An -tx4 | tr -d ' ')
  file_crc=$(/usr/bin/python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' \
    "$work/debug/$program.debug")
  [ "$link_crc" = "$file_crc" ] || fail "$program's debug link does not match its debug file"
done

# Reproducible: the release programs once more, in another folder, a moment later (the
# release build compiles every object itself, without ccache).
start=$(date +%s)
rm -rf "$again"
BUILD_DIR=$again bash "$repo/scripts/build-windows.sh" release >"$work/again.log" 2>&1 ||
  { cat "$work/again.log" >&2; fail "the second build"; }
for file in launcher.exe launcher-admin.exe launcher.exe.debug launcher-admin.exe.debug; do
  cmp "$build/$file" "$again/$file" || fail "$file differs between $build and $again"
done
log "reproducible: the programs and debug files of $again are those of $build ($(($(date +%s) - start)) s)"

# Signed with a throwaway CA and code-signing certificate.
ca=$work/ca
mkdir -p "$ca"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -out "$ca/ca.pem" -days 2 \
  -subj "/CN=Throwaway Test CA" -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$ca/cs.key" -out "$ca/cs.csr" \
  -subj "/CN=Throwaway Test Publisher" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$ca/cs.ext"
openssl x509 -req -in "$ca/cs.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial \
  -out "$ca/cs.pem" -days 2 -extfile "$ca/cs.ext" 2>/dev/null
echo "throwaway password" >"$ca/password"
openssl pkcs12 -export -inkey "$ca/cs.key" -in "$ca/cs.pem" -certfile "$ca/ca.pem" \
  -out "$ca/cs.p12" -passout "file:$ca/password"

SIGN_PKCS12=$ca/cs.p12 SIGN_PASSWORD_FILE=$ca/password DIST_DIR=$work/signed-dist BUILD_DIR=$build \
  bash "$repo/scripts/release.sh" 2>"$work/signed.log" || { cat "$work/signed.log" >&2; fail "signed release.sh"; }
grep -q "signed (pkcs12, SHA-256)" "$work/signed.log" || fail "the signed release does not say so"
unzip -q "$work/signed-dist/$name.zip" -d "$work/signed"
(cd "$work/signed" && sha256sum --quiet -c SHA256SUMS) || fail "the signed release's SHA256SUMS"
for program in launcher.exe launcher-admin.exe; do
  signed=$work/signed/$program
  osslsigncode verify -CAfile "$ca/ca.pem" -in "$signed" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log" >&2; fail "$program does not verify against the CA"; }
  grep -q "Message digest algorithm: SHA256" "$work/verify.log" || fail "$program is not signed with SHA-256"
  # One byte changed in the middle of the program.
  cp "$signed" "$work/changed.exe"
  offset=$(($(stat -c %s "$signed") / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 "$signed" | tr -d ' ')
  # shellcheck disable=SC2059 # the format is the byte's octal escape
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
  if osslsigncode verify -CAfile "$ca/ca.pem" -in "$work/changed.exe" >"$work/verify.log" 2>&1; then
    fail "$program with one byte changed still verifies"
  fi
  # Without its signature, the signed program is the reproducible build.
  rm -f "$work/unsigned.exe"
  osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null
  cmp "$work/unsigned.exe" "$build/$program" || fail "$program without its signature is not the build's"
done
log "signed: both programs verify against the throwaway CA, a changed byte fails, the unsigned bytes are the build's"
