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
  libclang-rt-14-dev nginx osslsigncode squid
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

# Copies the machine's sources into $work as they stand, leaving out every suite named in
# $work/failed: one-line files line by line (indented entries too), deb822 files stanza by
# stanza, with every other field kept as written (Signed-By as a key file or an inline key,
# Enabled, options), so a disabled stanza stays disabled.
filter_one_line() {  # file
  awk -v failed="$work/failed" '
    BEGIN { while ((getline l < failed) > 0) skip[l] = 1 }
    function norm(u) { sub(/\/$/, "", u); return u }
    {
      entry = $0; sub(/^[ \t]+/, "", entry); sub(/[ \t]*#.*/, "", entry)
      if (entry !~ /^deb[ \t]/) { print; next }
      n = split(entry, f, /[ \t]+/); i = 2
      if (f[2] ~ /^\[/) { while (i <= n && f[i] !~ /\]$/) i++; i++ }
      if (!((norm(f[i]) " " f[i + 1]) in skip)) print
    }' "$1"
}

filter_deb822() {  # file
  awk -v failed="$work/failed" '
    BEGIN { while ((getline l < failed) > 0) skip[l] = 1 }
    function norm(u) { sub(/\/$/, "", u); return u }
    function value(line) { sub(/^[^:]*:[ \t]*/, "", line); return line }
    # One stanza per URI that keeps only its whole suites, when any of its suites failed.
    function flush(   i, u, s, nu, ns, us, ss, whole, broken, out, k) {
      if (n == 0) return
      broken = 0
      nu = split(uris, us, /[ \t]+/); ns = split(suites, ss, /[ \t]+/)
      for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
        if ((norm(us[u]) " " ss[s]) in skip) broken = 1
      if (!broken) {
        for (i = 1; i <= n; i++) print lines[i]
      } else {
        for (u = 1; u <= nu; u++) {
          whole = ""
          for (s = 1; s <= ns; s++)
            if (!((norm(us[u]) " " ss[s]) in skip)) whole = whole " " ss[s]
          if (whole == "") continue
          for (i = 1; i <= n; i++) {
            k = tolower(lines[i])
            if (k ~ /^uris:/) print "URIs: " us[u]
            else if (k ~ /^suites:/) print "Suites:" whole
            else print lines[i]
          }
          print ""
        }
      }
      print ""
      n = 0; uris = suites = ""
    }
    /^[ \t]*$/ { flush(); next }
    {
      lines[++n] = $0; k = tolower($0)
      if (k ~ /^uris:/) uris = value($0)
      else if (k ~ /^suites:/) suites = value($0)
    }
    END { flush() }' "$1"
}

whole_sources() {
  local f
  [ -f "$apt_etc/sources.list" ] && filter_one_line "$apt_etc/sources.list" >"$work/sources.list"
  touch "$work/sources.list"
  for f in "$apt_etc"/sources.list.d/*.list; do
    [ -f "$f" ] && filter_one_line "$f" >"$work/parts/$(basename "$f")"
  done
  for f in "$apt_etc"/sources.list.d/*.sources; do
    [ -f "$f" ] && filter_deb822 "$f" >"$work/parts/$(basename "$f")"
  done
  return 0
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
mkdir -p "$work/parts" "$work/lists/partial"
whole_sources
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
