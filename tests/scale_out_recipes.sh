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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen
mkdir -p "$work/in" "$HOME"
for i in $(seq 0 11); do convert -size $((40 + i))x30 xc:"rgb($((i * 20)),90,160)" "$work/in/p$i.jpg"; done
ls "$work"/in/*.jpg > "$work/list.txt"

# Each input converted once: one "converted" line per input across the shard
# reports, and one TIFF per input.
once() {
    local out=$1
    python3 - "$out" "$work/list.txt" <<'PY'
import glob, json, sys
out, listing = sys.argv[1], sys.argv[2]
inputs = open(listing).read().split()
lines = [json.loads(l) for f in glob.glob(out + "/reports/shard-*.jsonl") for l in open(f) if l.strip()]
converted = sorted(l["input"] for l in lines if l["status"] == "converted")
assert converted == sorted(inputs), ("not each input once", converted)
assert len(glob.glob(out + "/*.tif")) == len(inputs), "a TIFF per input"
PY
}
# A second run skips every input.
all_skipped() {
    python3 - "$1" <<'PY'
import glob, json, sys
lines = [json.loads(l) for f in glob.glob(sys.argv[1] + "/reports/shard-*.jsonl") for l in open(f) if l.strip()]
assert lines and all(l["status"] == "skipped" for l in lines), lines
PY
}

# GNU parallel over two "hosts", both this machine.
TESSIVA_CONVERT=$cli "$recipes/parallel-hosts.sh" "$work/list.txt" "$work/parallel" "1/:,1/:"
once "$work/parallel"
[ "$(wc -l < "$work/parallel/report.jsonl")" -eq 12 ]
TESSIVA_CONVERT=$cli "$recipes/parallel-hosts.sh" "$work/list.txt" "$work/parallel" "1/:,1/:"
all_skipped "$work/parallel"
echo "GNU parallel: 12 photos on 2 hosts, each once; the rerun skipped them all"

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
print(body["completions"])
print(script)
PY
)
completions=$(head -1 <<<"$command")
script=$(tail -n +2 <<<"$command")
mkdir -p "$work/k8s"
cp "$work/list.txt" "$work/k8s/list.txt"
script=${script//\/data/$work/k8s}
script=${script//exec tessiva-convert/exec $cli}
for index in $(seq 0 $((completions - 1))); do JOB_COMPLETION_INDEX=$index sh -c "$script"; done
once "$work/k8s/out"
echo "Kubernetes: $completions indexes, each photo once"

# Slurm: the array script, task by task.
grep -q '^#SBATCH --array=1-' "$recipes/tessiva-array.slurm"
for task in 1 2 3; do
    SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_TASK_COUNT=3 LIST=$work/list.txt OUT=$work/slurm \
        TESSIVA_CONVERT=$cli bash "$recipes/tessiva-array.slurm"
done
once "$work/slurm"
echo "Slurm: 3 array tasks, each photo once"
