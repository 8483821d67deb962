# Sourced by the scripts that run what a build made; needs wine-env.sh first.
# setup_program BUILD_DIR: the setup program that build made (dist/ holds only the shipped
# 32-bit one; the 64-bit build keeps its own).
setup_program() {
  local own=$1/dist/Velmora_Setup.exe
  if [ -f "$own" ]; then echo "$own"; else echo "$VELMORA_ROOT/dist/Velmora_Setup.exe"; fi
}

# pe_machine FILE: i386 or x64, from the PE header's machine field.
pe_machine() {
  local pe machine
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -t x2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case "$machine" in
    014c) echo i386 ;;
    8664) echo x64 ;;
    *) echo "unknown machine $machine" >&2; return 1 ;;
  esac
}

# program_files_for FILE: the Program Files folder (a Windows path) that a program of FILE's
# kind is given under Wine, as that kind's own command processor sees it.
program_files_for() {
  local cmd='C:\windows\system32\cmd.exe'
  [ "$(pe_machine "$1")" = i386 ] && cmd='C:\windows\syswow64\cmd.exe'
  wine "$cmd" /c 'echo %ProgramFiles%' 2>/dev/null | tr -d '\r'
}
