#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need, and makes
# Debian's source packages reachable (the dependencies Debian has no MinGW build of
# are built from them). Does nothing on a prepared machine.
set -euo pipefail

packages=(
  # MinGW-w64 for x86_64 with the posix thread model (std::thread, std::mutex)
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev libz-mingw-w64-dev
  # Wine to run the programs and tests, 64-bit only
  wine wine64
  # building the dependencies from Debian's source packages
  dpkg-dev make patch autoconf automake libtool googletest libsimpleini-dev cmake ninja-build pkg-config
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Is there a deb-src entry for the archive the binary packages come from?
has_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -qE '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -qiE '^Types:.*[[:space:]]deb-src([[:space:]]|$)' "$f" && return 0
  done
  return 1
}

# Prints one "Types: deb-src" stanza for each "Types: deb" stanza of a deb822 file,
# with the same URIs, suites, components and key.
deb_src_stanzas() {
  awk '
    function flush(   k) {
      if (is_deb && ("uris" in raw)) {
        printf "\nTypes: deb-src\n"
        for (k = 1; k <= 4; k++) if (keep[k] in raw) printf "%s", raw[keep[k]]
      }
      is_deb = 0; field = ""; delete raw
    }
    BEGIN { split("uris suites components signed-by", keep, " ") }
    /^[[:space:]]*$/ { flush(); next }
    /^#/ { next }
    /^[[:space:]]/ { if (field in raw) raw[field] = raw[field] $0 "\n"; next }  # continuation
    {
      field = tolower($1); sub(/:$/, "", field)
      if (field == "types") for (i = 2; i <= NF; i++) if ($i == "deb") is_deb = 1
      if (field == "uris" || field == "suites" || field == "components" || field == "signed-by")
        raw[field] = $0 "\n"
    }
    END { flush() }
  ' "$1"
}

need_update=0
if ! has_deb_src; then
  sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ] && [ -n "$(deb_src_stanzas "$sources")" ]; then
    echo "setup-windows: adding deb-src stanzas to $sources"
    { [ -z "$(tail -c1 "$sources")" ] || echo; deb_src_stanzas "$sources"; } | "${sudo_cmd[@]}" tee -a "$sources" >/dev/null
  elif [ -f /etc/apt/sources.list ] && grep -qE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    echo "setup-windows: adding deb-src lines to /etc/apt/sources.list.d/debian-src.list"
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  else
    echo "setup-windows: no Debian binary entry found to mirror as deb-src" >&2
    exit 1
  fi
  need_update=1
fi
# An entry alone is not enough: the source index must have been fetched too.
compgen -G '/var/lib/apt/lists/*_Sources*' >/dev/null || need_update=1

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] || need_update=1

if [ "$need_update" -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-windows: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
