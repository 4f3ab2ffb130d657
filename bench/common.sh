# Shared by the benchmark scripts (sourced, not run).

# Installs the Debian packages of the tools that are missing. Each argument is CHECK=PACKAGE, where
# CHECK is a command name, an absolute path that must be executable, or py:MODULE for a module of
# the system's python3.
ensure_tools() {
  local need=() spec check package
  for spec in "$@"; do
    check=${spec%%=*}
    package=${spec#*=}
    case "$check" in
      py:*) /usr/bin/python3 -c "import ${check#py:}" 2>/dev/null || need+=("$package") ;;
      /*) [ -x "$check" ] || need+=("$package") ;;
      *) command -v "$check" >/dev/null || need+=("$package") ;;
    esac
  done
  [ ${#need[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${need[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}
