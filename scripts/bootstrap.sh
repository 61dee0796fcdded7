#!/usr/bin/env bash
# Installs whatever the build needs from Debian's packages; quiet and quick when all is there.
set -euo pipefail
packages=(g++ clang libclang-rt-14-dev cmake make pkg-config libgdal-dev gdal-bin libxml2-dev
          libxml2-utils libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev time
          dpkg-dev file man-db slurmctld slurmd slurm-client munge python3-gdal python3-numpy
          python3-rasterio r-cran-terra chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
