#!/usr/bin/env bash
# Runs the scale-out recipes of docs/scale-out on this machine and checks that
# every photo is converted exactly once and that a second run skips them all:
# GNU parallel with two local "hosts", the Kubernetes Job's command for each
# completion index (after checking its YAML), the Slurm script for each task.
#   scale_out_recipes.sh TESSIVA_CONVERT SOURCE_DIR
set -euo pipefail
cli=$1 recipes=$2/docs/scale-out
for tool in parallel convert python3; do
    command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
python3 -c 'import yaml' 2>/dev/null || { echo "python3-yaml is not installed"; exit 77; }
# Folders with spaces, a caption with one, and a broken photo among the good:
# the recipes must pass them all through as they are.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
work="$scratch/a folder"
mkdir -p "$work"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen
mkdir -p "$work/in" "$HOME"
for i in $(seq 0 11); do convert -size $((40 + i))x30 xc:"rgb($((i * 20)),90,160)" "$work/in/p$i.jpg"; done
echo "not a photo" > "$work/in/broken.jpg"
ls "$work"/in/*.jpg > "$work/list.txt"
caption="© 2026"

# Each input converted once: one "converted" line per input across the shard
# reports, and one TIFF per input.
once() {
    local out=$1
    python3 - "$out" "$work/list.txt" <<'PY'
import glob, json, sys
out, listing = sys.argv[1], sys.argv[2]
inputs = [l for l in open(listing).read().split("\n") if l]
good = sorted(i for i in inputs if not i.endswith("broken.jpg"))
lines = [json.loads(l) for f in glob.glob(glob.escape(out) + "/reports/shard-*.jsonl") for l in open(f) if l.strip()]
converted = sorted(l["input"] for l in lines if l["status"] == "converted")
assert converted == good, ("not each input once", converted)
assert [l["status"] for l in lines if l["input"].endswith("broken.jpg")] == ["failed"], lines
assert len(glob.glob(glob.escape(out) + "/*.tif")) == len(good), "a TIFF per photo"
PY
}
# A second run skips every input, its lines after those of the first.
all_skipped() {
    python3 - "$1" <<'PY'
import glob, json, sys
lines = [json.loads(l) for f in glob.glob(glob.escape(sys.argv[1]) + "/reports/shard-*.jsonl") for l in open(f) if l.strip()]
good = [l for l in lines if not l["input"].endswith("broken.jpg")]
done = sorted(l["input"] for l in good if l["status"] == "converted")
assert done and sorted(l["input"] for l in good if l["status"] == "skipped") == done, lines
PY
}

# GNU parallel over two "hosts", both this machine; the broken photo fails its
# shard, and the report is joined all the same.
status=0
TESSIVA_CONVERT=$cli "$recipes/parallel-hosts.sh" "$work/list.txt" "$work/parallel out" "1/:,1/:" \
    --text "$caption" || status=$?
[ "$status" -eq 1 ] || { echo "parallel recipe: status $status, not 1"; exit 1; }
once "$work/parallel out"
[ "$(wc -l < "$work/parallel out/report.jsonl")" -eq 13 ]
TESSIVA_CONVERT=$cli "$recipes/parallel-hosts.sh" "$work/list.txt" "$work/parallel out" "1/:,1/:" \
    --text "$caption" || true
all_skipped "$work/parallel out"
echo "GNU parallel: 12 photos and a broken one on 2 hosts, each once; the rerun skipped them all"

# Kubernetes: the manifest is an Indexed Job whose shards match its completions;
# its command then runs once per index against a local folder.
command=$(python3 - "$recipes/tessiva-job.yaml" <<'PY'
import re, sys, yaml
job = yaml.safe_load(open(sys.argv[1]))
assert job["apiVersion"] == "batch/v1" and job["kind"] == "Job"
# "spec" is the Kubernetes name of a resource's body.
body = job["spec"]
pod = body["template"]["spec"]
assert body["completionMode"] == "Indexed"
container = pod["containers"][0]
script = container["command"][-1]
shards = re.search(r'--shard "\$\(\(JOB_COMPLETION_INDEX \+ 1\)\)/(\d+)"', script)
assert shards and int(shards.group(1)) == body["completions"], "one shard per completion"
assert "--skip-existing" in script and "--report" in script
# Verifiably not root, writing the claim as its group, nothing written but /tmp and /data.
security = pod["securityContext"]
assert security["runAsNonRoot"] and isinstance(security["runAsUser"], int) and security["fsGroup"]
assert container["securityContext"]["readOnlyRootFilesystem"]
mounts = {m["mountPath"]: m["name"] for m in container["volumeMounts"]}
volumes = {v["name"]: v for v in pod["volumes"]}
assert "emptyDir" in volumes[mounts["/tmp"]], "a writable /tmp"
print(body["completions"])
print(script)
PY
)
completions=$(head -1 <<<"$command")
script=$(tail -n +2 <<<"$command")
mkdir -p "$work/k8s"
cp "$work/list.txt" "$work/k8s/list.txt"
script=${script//\/data/$work/k8s}
script=${script//tessiva-convert --files-from/\"$cli\" --text \"$caption\" --files-from}
# Photos that failed are in the report; the pod itself has done its shard.
for index in $(seq 0 $((completions - 1))); do JOB_COMPLETION_INDEX=$index sh -c "$script"; done
once "$work/k8s/out"
echo "Kubernetes: $completions indexes, each photo once"

# Slurm: the array script, task by task.
grep -q '^#SBATCH --array=1-' "$recipes/tessiva-array.slurm"
for task in 1 2 3; do
    SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_TASK_COUNT=3 LIST=$work/list.txt OUT="$work/slurm out" \
        TESSIVA_CONVERT=$cli bash "$recipes/tessiva-array.slurm" --text "$caption" || true
done
once "$work/slurm out"
echo "Slurm: 3 array tasks, each photo once"
