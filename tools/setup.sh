#!/usr/bin/env bash
# Installs every tool the build, the tests and the demo need, from Debian's packages.
# Idempotent: when everything is present it only checks and returns.
#
# A package mirror in the middle of a sync serves an index that fails its size check. The
# update is then tried again; if the install cannot be resolved while an index is missing
# (the amd64 and i386 twins of a multi-arch library come from different suites), it is tried
# once more from a temporary source list that holds only the suites whose indexes arrived
# whole. The machine's own source lists are never changed.
#
# SETUP_APT_ETC (default /etc/apt) and SETUP_RETRY_PAUSE (seconds, default 5) exist for the
# script's own test, which runs it against a stand-in apt-get.
set -euo pipefail

packages=(
  cmake make g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  mingw-w64-i686-dev wine wine32:i386 wine64 fonts-wine fonts-ipafont-gothic xvfb xauth
  x11-apps xdotool imagemagick fonts-noto-cjk googletest python3 openssl curl clang
  libclang-rt-14-dev nginx osslsigncode
)
apt_etc=${SETUP_APT_ETC:-/etc/apt}
retry_pause=${SETUP_RETRY_PAUSE:-5}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "URI SUITE" (URI without its trailing slash) for every index apt could not fetch.
failed_suites() {
  sed -n 's|^[EW]: Failed to fetch \([^ ]*\)/dists/\([^/]*\)/.*|\1 \2|p' "$1" | sort -u
}

# apt-get update, up to three times; leaves the failed suites of the last try in $work/failed.
update_indexes() {
  local attempt
  for attempt in 1 2 3; do
    if "${sudo_cmd[@]}" apt-get update -qq "$@" >"$work/update.log" 2>&1 \
      && ! grep -q '^[EW]: Failed to fetch' "$work/update.log"; then
      : >"$work/failed"
      return 0
    fi
    failed_suites "$work/update.log" >"$work/failed"
    [ "$attempt" -lt 3 ] && sleep "$retry_pause"
  done
  if [ ! -s "$work/failed" ]; then
    cat "$work/update.log" >&2
    return 1
  fi
  return 0
}

install_packages() {
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" \
    >"$work/install.log" 2>&1
}

# Writes the machine's sources (one-line and deb822 forms) as one-line entries, leaving out
# every suite named in $work/failed.
whole_sources() {
  local f
  for f in "$apt_etc/sources.list" "$apt_etc"/sources.list.d/*.list \
    "$apt_etc"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v failed="$work/failed" '
      BEGIN { while ((getline l < failed) > 0) skip[l] = 1 }
      function norm(u) { sub(/\/$/, "", u); return u }
      function emit(type, opts, uri, suite, comps) {
        if (!((norm(uri) " " suite) in skip)) print type, opts, uri, suite, comps
      }
      function flush(   u, s, nu, ns, uris, suites, opts) {
        if (types != "" && enabled != "no") {
          opts = "[" (signed != "" ? "signed-by=" signed : "") \
                 (archs != "" ? " arch=" archs : "") "]"
          if (opts == "[]") opts = ""
          nu = split(uris_, uris, " "); ns = split(suites_, suites, " ")
          for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
            if (types ~ /(^| )deb( |$)/) emit("deb", opts, uris[u], suites[s], comps)
        }
        types = uris_ = suites_ = comps = signed = archs = enabled = ""
      }
      FILENAME ~ /\.sources$/ {
        if ($0 ~ /^[ \t]*$/) { flush(); next }
        if ($0 ~ /^#/) next
        key = tolower($1); $1 = ""; sub(/^ +/, "")
        if (key == "types:") types = $0
        else if (key == "uris:") uris_ = $0
        else if (key == "suites:") suites_ = $0
        else if (key == "components:") comps = $0
        else if (key == "signed-by:") signed = $0
        else if (key == "architectures:") { archs = $0; gsub(/ +/, ",", archs) }
        else if (key == "enabled:") enabled = tolower($0)
        next
      }
      /^deb[ \t]/ {
        opts = ""
        if ($2 ~ /^\[/) { opts = $2; i = 3; while (opts !~ /\]$/) opts = opts " " $(i++) }
        else i = 2
        uri = $i; suite = $(i + 1); comps = ""
        for (j = i + 2; j <= NF; j++) comps = comps " " $j
        emit("deb", opts, uri, suite, substr(comps, 2))
      }
      END { flush() }
    ' "$f"
  done
}

update_indexes
if install_packages; then
  exit 0
fi
if [ ! -s "$work/failed" ]; then
  cat "$work/install.log" >&2
  exit 1
fi

echo "setup: the package mirror is mid-sync (incomplete index: $(tr '\n' ' ' <"$work/failed" | sed 's/ $//')); installing from the whole suites only"
whole_sources >"$work/sources.list"
mkdir -p "$work/parts" "$work/lists/partial"
chmod -R a+rx "$work"
apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
  -o "Dir::State::Lists=$work/lists")
: >"$work/failed"
update_indexes "${apt_opts[@]}"
if [ -s "$work/failed" ]; then
  cat "$work/update.log" >&2
  exit 1
fi
if ! install_packages "${apt_opts[@]}"; then
  cat "$work/install.log" >&2
  exit 1
fi
