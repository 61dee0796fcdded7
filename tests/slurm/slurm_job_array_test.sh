#!/usr/bin/env bash
# geodem batch under a real scheduler: a one-node Slurm cluster on this machine (munge and the
# two daemons started directly, ports on loopback, no cgroup plug-ins), the job array script
# submitted over a manifest of tiles, its grid files compared with one-by-one conversions, and over
# the plan of geodem sheets, compared with one run of it.
#   slurm_job_array_test.sh GEODEM_PROGRAM
# Exits 77 (CTest: skipped) with the reason when Slurm cannot be installed or started here.
set -euo pipefail
geodem="$(realpath "$1")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
skip() { echo "SKIPPED: $*"; exit 77; }

need=(slurmctld slurmd slurm-client munge)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  [ "$(id -u)" -eq 0 ] || skip "Slurm is not installed (${missing[*]}) and this is not root"
  DEBIAN_FRONTEND=noninteractive timeout 300 apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null 2>&1 || skip "cannot install ${missing[*]} from Debian"
fi
[ "$(id -u)" -eq 0 ] || skip "the one-node cluster runs its daemons as root"

# One cluster at a time on this machine, whoever runs the suite.
exec 9>/tmp/geodem-slurm-test.lock
flock -w 240 9 || skip "another Slurm test kept the lock for four minutes"

work="$(mktemp -d /tmp/geodem-slurm-XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# Free loopback ports for the controller and the node daemon.
read -r ctld_port slurmd_port < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

mkdir -p "$work/munge" "$work/state" "$work/spool"
chmod 711 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 600 "$work/munge/munge.key"
socket="$work/munge/munge.socket"
munged -F -f --key-file="$work/munge/munge.key" --socket="$socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/munged.seed" >"$work/munge/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || { cat "$work/munge/munged.log" >&2; skip "munged did not start"; }

host="$(hostname -s)"
cat >"$work/slurm.conf" <<CONF
ClusterName=geodemtest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
SlurmctldTimeout=30
SlurmdTimeout=30
NodeName=geodem1 NodeAddr=127.0.0.1 NodeHostname=$host CPUs=2 RealMemory=1000 State=UNKNOWN
PartitionName=test Nodes=geodem1 Default=YES MaxTime=10 State=UP
CONF
export SLURM_CONF="$work/slurm.conf"
slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -N geodem1 -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
pids+=($!)
up=""
for _ in $(seq 60); do
  if sinfo -h -n geodem1 -o %t 2>/dev/null | grep -qE '^(idle|mix|alloc)'; then up=1; break; fi
  sleep 0.5
done
if [ -z "$up" ]; then
  tail -n 20 "$work/slurmctld.log" "$work/slurmd.log" >&2 || true
  skip "the one-node cluster did not come up"
fi

# Ten tiles; a manifest of relative paths, half of them with an explicit grid file.
mkdir -p "$work/tiles"
"$root/scripts/sample_dem.sh" "$work/seed.tif" 200 150 >/dev/null
: >"$work/set.txt"
for i in $(seq 0 9); do
  gdal_translate -q -srcwin $((i * 20)) 0 20 150 "$work/seed.tif" "$work/tiles/t$i.tif"
  if ((i % 2)); then
    printf 'tiles/t%d.tif\tout/odd/t%d.dem\n' "$i" "$i" >>"$work/set.txt"
  else
    printf 'tiles/t%d.tif\n' "$i" >>"$work/set.txt"
  fi
done
export GEODEM="$geodem"
export GEODEM_REGISTRY="$work/registry"
"$geodem" register >/dev/null 2>&1

cd "$work"
# Task ids that do not start at 0: the shards are counted from the array's lowest id.
timeout 180 sbatch --wait --array=3-5 -o "$work/job-%A_%a.out" \
  "$root/scripts/slurm/geodem-array.sbatch" "$work/set.txt" "$work/out" --format-version GRD_2007 \
  || { cat "$work"/job-*.out >&2 || true; tail -n 20 "$work/slurmctld.log" >&2; echo "FAILED: the job array failed" >&2; exit 1; }

status=0
mkdir -p "$work/single"
for i in $(seq 0 9); do
  "$geodem" convert -q --format-version GRD_2007 "$work/tiles/t$i.tif" "$work/single/t$i.dem" 2>/dev/null
  out="$work/out/t$i.dem"
  ((i % 2)) && out="$work/out/odd/t$i.dem"
  cmp -s "$out" "$work/single/t$i.dem" || { echo "FAILED: $out differs from a single conversion" >&2; status=1; }
done
for k in 0 1 2; do
  [ -f "$work/out/geodem-batch.shard-$k-of-3.jsonl" ] || { echo "FAILED: no journal of shard $k" >&2; status=1; }
done
"$geodem" batch --report "$work/out" | grep -q "tiles: 10 (10 done, 0 failed, 0 outdated, 0 pending)" \
  || { "$geodem" batch --report "$work/out" >&2; echo "FAILED: the report" >&2; status=1; }

# The map sheets of a geographic DEM: geodem sheets' plan as a two-task array, against one
# uninterrupted geodem sheets run.
gdal_translate -q -a_srs EPSG:4490 -a_ullr 116 40 116.5 39.8 "$work/seed.tif" "$work/geo.tif"
"$geodem" sheets --scale 50000 -q --plan-only --out-dir "$work/sheets" "$work/geo.tif"
timeout 180 sbatch --wait --array=0-1 -o "$work/sheets-%A_%a.out" \
  "$root/scripts/slurm/geodem-array.sbatch" "$work/sheets/sheets-plan/sheets-50000.txt" \
  "$work/sheets" || { cat "$work"/sheets-*.out >&2 || true; echo "FAILED: the sheets array failed" >&2; exit 1; }
"$geodem" sheets --scale 50000 -q --out-dir "$work/whole" "$work/geo.tif"
sheets=0
for f in "$work"/whole/*.dem; do
  sheets=$((sheets + 1))
  cmp -s "$f" "$work/sheets/$(basename "$f")" || { echo "FAILED: sheet $(basename "$f") differs from one run's" >&2; status=1; }
done
[ "$sheets" -eq 4 ] || { echo "FAILED: $sheets sheets instead of 4" >&2; status=1; }
[ $status -eq 0 ] && echo "the job arrays converted the set and the sheets as single runs do"
exit $status
