# Sourced by the scripts that run what a build made; needs wine-env.sh first.
# setup_program BUILD_DIR: the setup program that build made (dist/ holds only the shipped
# 32-bit one; the 64-bit build keeps its own).
setup_program() {
  local own=$1/dist/Velmora_Setup.exe
  if [ -f "$own" ]; then echo "$own"; else echo "$VELMORA_ROOT/dist/Velmora_Setup.exe"; fi
}

# program_files_for BUILD_DIR: the Program Files folder (a Windows path) that a program of that
# build is given under Wine, as a program of the build's own kind reports it. A helper of
# Wine's (cmd, reg) will not do: which loader `wine` takes is the host's choice, and a 32-bit
# helper sees the 32-bit folder whatever is asked.
program_files_for() {
  "$VELMORA_ROOT/tools/wine-run" "$1/demo/program_files_probe.exe" 2>/dev/null | tr -d '\r'
}
