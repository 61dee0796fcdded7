#!/usr/bin/env bash
# Installs whatever is missing from Debian's packages; quiet and quick when all is there.
#   scripts/bootstrap.sh           what building and running geodem needs (the demo)
#   scripts/bootstrap.sh --tests   that and what the tests, benchmarks, fuzzing and packaging use
#                                  (qgis: qgis_process and its Python, for the QGIS plugin's tests)
# Another program installing packages (unattended upgrades on a fresh machine) holds Debian's
# package lock: the bootstrap waits for it, up to GEODEM_APT_LOCK_WAIT seconds (default 600).
# With --tests it also generates the Chinese locale (zh_CN.UTF-8) that geodem's translation is
# tested under.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
packages=(g++ cmake make pkg-config libgdal-dev gdal-bin libxml2-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev gettext)
if [ "${1:-}" = "--tests" ]; then
  packages+=(clang libclang-rt-14-dev libxml2-utils time dpkg-dev file man-db slurmctld slurmd
             slurm-client munge python3-gdal python3-numpy python3-rasterio r-cran-terra
             chromium locales strace qgis grass-core)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# A locale of Debian's list of supported ones (/usr/share/i18n/SUPPORTED), generated unless it is.
generate_locale() {
  local name="$1" charset="$2"
  locale -a 2>/dev/null | grep -qix "${name%%.*}.$(tr -d '-' <<<"$charset")" && return 0
  echo "bootstrap: generating the locale $name"
  grep -qx "$name $charset" /etc/locale.gen 2>/dev/null ||
    echo "$name $charset" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen --keep-existing >/dev/null
}

if ! ((${#missing[@]})); then
  [ "${1:-}" = "--tests" ] && generate_locale zh_CN.UTF-8 UTF-8
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"$root/scripts/wait_for_apt.sh" "${GEODEM_APT_LOCK_WAIT:-600}"
# apt waits by itself too, for a lock taken between the wait above and its own start.
apt=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=60 -qq)
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! "${apt[@]}" update >"$log" 2>&1 ||
   ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >>"$log" 2>&1; then
  echo "bootstrap: could not install ${missing[*]}:" >&2
  grep -E "^(E|W):" "$log" >&2 || tail -n 5 "$log" >&2
  for p in "${missing[@]}"; do
    candidate="$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ {print $2}')"
    case "$candidate" in
      ""|"(none)") echo "bootstrap: $p is in none of this machine's package sources" >&2 ;;
    esac
  done
  exit 1
fi
[ "${1:-}" = "--tests" ] && generate_locale zh_CN.UTF-8 UTF-8
exit 0
