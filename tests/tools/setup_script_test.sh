#!/usr/bin/env bash
# Runs tools/setup.sh against a stand-in apt-get, dpkg and dpkg-query that replay what a
# mirror in the middle of a sync answers, and checks which apt commands the script runs. The
# machine's package state is never touched.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$here/../../tools/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin" "$work/etc/sources.list.d"
cat >"$work/etc/sources.list.d/debian.sources" <<'SRC'
Types: deb
# a comment
URIs: http://deb.example.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.example.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.example.org/debian
Suites: bookworm-backports
Components: main
Enabled: no
SRC
cat >"$work/etc/sources.list.d/inline.sources" <<'SRC'
Types: deb
URIs: https://inline.example.org/apt http://deb.example.org/debian-security
Suites: bookworm-security stable
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGRiAbcBEAC
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: https://off.example.org/apt
Suites: stable
Enabled: off

Types: deb
URIs: https://false.example.org/apt
Suites: stable
Enabled: False
SRC
cat >"$work/etc/sources.list.d/other.list" <<'SRC'
deb [arch=amd64] https://other.example.org/apt stable main
  deb https://indented.example.org/apt stable main
deb http://deb.example.org/debian-security bookworm-security main
SRC
echo 'deb https://ignored.example.org/apt stable main' \
  >"$work/etc/sources.list.d/off.list.disabled"

cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
# Records each call; the scenario decides how the mirror answers.
temp_list=""
temp_parts=""
for a in "$@"; do
  case $a in
    Dir::Etc::SourceList=*) temp_list=${a#*=} ;;
    Dir::Etc::SourceParts=*) temp_parts=${a#*=} ;;
  esac
done
verb=update; for a in "$@"; do [ "$a" = install ] && verb=install; done
echo "$verb${temp_list:+ temp}" >>"$FAKE_LOG"
[ -n "$temp_list" ] && cat "$temp_list" "$temp_parts"/* >"$FAKE_LOG.sources"
case "$verb:${temp_list:+temp}:$SCENARIO" in
  update::midsync*)
    echo "Err:6 http://deb.example.org/debian-security bookworm-security/main i386 Packages"
    echo "E: Failed to fetch http://deb.example.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  update::locked)
    echo "E: Could not get lock /var/lib/apt/lists/lock" >&2; exit 100 ;;
  install::midsync-broken|install::broken)
    echo "The following packages have unmet dependencies:"
    echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
esac
exit 0
FAKE
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
[ "$SCENARIO" = installed ] && printf 'install ok installed'
exit 0
FAKE
printf '#!/usr/bin/env bash\necho i386\n' >"$work/bin/dpkg"
printf '#!/usr/bin/env bash\n"$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*

# scenario | exit status | apt calls, in order | fallback line expected
cases=(
  "installed|0||no"
  "clean|0|update install|no"
  "midsync|0|update update update install|no"
  "midsync-broken|0|update update update install update temp install temp|yes"
  "broken|1|update install|no"
  "locked|1|update update update|no"
)
for row in "${cases[@]}"; do
  IFS='|' read -r scenario status calls fallback <<<"$row"
  log=$work/$scenario.log
  : >"$log"
  out=$(SCENARIO=$scenario FAKE_LOG=$log PATH="$work/bin:$PATH" SETUP_APT_ETC=$work/etc \
    SETUP_RETRY_PAUSE=0 bash "$setup" 2>&1)
  got=$?
  seen=$(tr '\n' ' ' <"$log" | sed 's/ $//')
  said=no; grep -q '^setup: the package mirror is mid-sync' <<<"$out" && said=yes
  if [ "$got" != "$status" ] || [ "$seen" != "$calls" ] || [ "$said" != "$fallback" ]; then
    echo "FAIL $scenario: status $got (want $status), calls '$seen' (want '$calls'), fallback $said"
    echo "$out" | sed 's/^/  | /'
    failures=$((failures + 1))
  fi
  if [ "$status" = 1 ] && ! grep -q '^E: ' <<<"$out"; then
    echo "FAIL $scenario: apt's message is not shown"; failures=$((failures + 1))
  fi
done

# The temporary sources keep every whole suite as the machine has it (options, an inline key,
# indented entries) and drop the broken one; disabled stanzas stay disabled.
want='Types: deb
# a comment
URIs: http://deb.example.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.example.org/debian
Suites: bookworm-backports
Components: main
Enabled: no

Types: deb
URIs: https://inline.example.org/apt
Suites: bookworm-security stable
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGRiAbcBEAC
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: http://deb.example.org/debian-security
Suites: stable
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGRiAbcBEAC
 -----END PGP PUBLIC KEY BLOCK-----

Types: deb
URIs: https://off.example.org/apt
Suites: stable
Enabled: off

Types: deb
URIs: https://false.example.org/apt
Suites: stable
Enabled: False

deb [arch=amd64] https://other.example.org/apt stable main
  deb https://indented.example.org/apt stable main'
got=$(cat -s "$work/midsync-broken.log.sources" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}')
if [ "$got" != "$want" ]; then
  echo "FAIL temporary sources:"
  diff <(echo "$want") <(echo "$got") | sed 's/^/  | /'
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "setup script: all cases passed"
exit $(( failures > 0 ))
