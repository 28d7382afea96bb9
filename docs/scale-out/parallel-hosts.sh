#!/usr/bin/env bash
# Converts every photo of a list on several hosts with GNU parallel: one shard
# per host slot, outputs and reports on storage all hosts share.
#   parallel-hosts.sh LIST OUTDIR HOSTS [TESSIVA-CONVERT OPTIONS...]
# LIST holds one photo path per line, as every host sees it; HOSTS is a GNU
# parallel --sshlogin list, as "8/render1,8/render2" (8 shards on each host; ":"
# is this machine). Run it again after an interruption: finished outputs are
# skipped. Each shard writes OUTDIR/reports/shard-K.jsonl, and OUTDIR/report.jsonl
# joins them even when photos failed; the status is then 1 or more.
set -euo pipefail
list=$1 out=$2 hosts=$3
shift 3
# The converter: installed, or a command that runs it (a container image).
read -ra convert <<<"${TESSIVA_CONVERT:-tessiva-convert}"
# One shard per job slot: the slots of every host added up.
shards=0
IFS=, read -ra logins <<<"$hosts"
for login in "${logins[@]}"; do
    slots=1
    [[ $login == */* ]] && slots=${login%%/*}
    shards=$((shards + slots))
done
mkdir -p "$out/reports"
# --quote passes every argument as it is, spaces and all; a shard takes one
# core of its slot (options given after the host list come later and win).
status=0
seq 1 "$shards" | parallel --will-cite --quote --sshlogin "$hosts" --halt never \
    "${convert[@]}" --files-from "$list" --shard "{}/$shards" --jobs 1 --output-dir "$out" \
    --skip-existing --quiet --report "$out/reports/shard-{}.jsonl" "$@" || status=$?
# Gather: one line per input, every shard's, whatever became of the photos.
cat "$out"/reports/shard-*.jsonl > "$out/report.jsonl"
exit "$status"
