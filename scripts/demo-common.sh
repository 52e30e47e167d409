# shellcheck shell=bash
# What the update demonstrations share (sourced by demo-update.sh and
# demo-update-windows.sh): their output helpers, the game folder's region settings and
# lighttpd on loopback. The sourcing script sets `demo` (its name, for messages) and
# `work` (its temporary folder).
# shellcheck disable=SC2154 # demo and work are the sourcing script's

step() { printf '\n== %s\n' "$*"; }
show() { sed 's/^/   | /' "$@"; }
fail() { echo "$demo: FAILED: $*" >&2; exit 1; }

# A loopback port nothing listens on now.
free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# write_region_settings FOLDER PUBLIC_KEY: install.ini, localization.ini and update_en.ini
# for "launcher-admin pack"; the server address in them is a placeholder that the
# PatchIP:/PatchPort: arguments override.
write_region_settings() {
  printf '[BOOT]\nselect=Europe\n' >"$1/install.ini"
  printf '[Europe]\ncountry=en\n' >"$1/localization.ini"
  cat >"$1/update_en.ini" <<SETTINGS
[BOOT]
VersionURL=http://127.0.0.1:1/unused/
DownloadURL=http://127.0.0.1:1/unused/
DownloadPort=1
ZipPath=Patch
$2
SETTINGS
}

# start_lighttpd FOLDER PORT LOG: serves FOLDER on 127.0.0.1:PORT, a line in LOG for each
# request, and returns once it accepts connections; its process is server_pid.
start_lighttpd() {
  printf '%s\n' \
    "server.document-root = \"$1\"" \
    'server.bind = "127.0.0.1"' \
    "server.port = $2" \
    'server.modules = ("mod_accesslog")' \
    "accesslog.filename = \"$3\"" \
    'accesslog.format = "%r -> %>s, %b bytes"' \
    'mimetype.assign = (".zip" => "application/zip", "" => "application/octet-stream")' |
    lighttpd -D -f - 2>"$work/lighttpd.err" &
  server_pid=$!
  for _ in $(seq 50); do
    /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $2), 1)" 2>/dev/null && break
    sleep 0.1
  done
}

# Stops lighttpd, if it runs; it writes its access log completely only once it has stopped.
stop_lighttpd() {
  if [ -n "${server_pid:-}" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  server_pid=
}
