#!/usr/bin/env bash
# Compares the word-list merge with `LC_ALL=C sort -u` of the same file, as whole
# processes: the tool merges one source word list into a missing destination (and logs
# every imported word); sort reads the same file and writes its sorted distinct lines.
# The two run in turn, RUNS times each after one warm-up; the medians, their ratio, the
# median of the ratios pair by pair and the peak memory are printed. The warm-up checks the
# outputs: the destination equals sort's output byte for byte, and the log names each of
# its words as imported, in order.
#
#   scripts/bench-wordlist.sh [RUNS] [SIZES...]   (default: 9 runs, 100000 and 1000000)
#   BENCH_VERBOSE=1 scripts/bench-wordlist.sh      (also every run's time)
#
# The words are real ones, an equal mix of Debian's Ukrainian, Polish and German word
# lists, drawn at random (fixed seed) and shuffled; the lists are installed here.
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-9}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)

lists=(/usr/share/dict/ukrainian /usr/share/dict/polish /usr/share/dict/ngerman)
missing=()
[ -f /usr/share/dict/ukrainian ] || missing+=(wukrainian)
[ -f /usr/share/dict/polish ] || missing+=(wpolish)
[ -f /usr/share/dict/ngerman ] || missing+=(wngerman)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target wordhaul >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

python3 - "${work}" "$(pwd)/build/native/wordhaul" "${runs}" "${lists[@]}" -- "${sizes[@]}" <<'EOF'
import os, random, statistics, subprocess, sys, time

work, tool, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
rest = sys.argv[4:]
lists, sizes = rest[:rest.index("--")], [int(s) for s in rest[rest.index("--") + 1:]]

words_of = []
for path in lists:
    with open(path, "rb") as f:
        words_of.append([w for w in f.read().split(b"\n") if w])

def make_words(count):
    rng = random.Random(20261207)
    picked = []
    for i, words in enumerate(words_of):
        share = count // len(words_of) + (1 if i < count % len(words_of) else 0)
        picked += rng.sample(words, min(share, len(words)))
    while len(picked) < count:  # a list too short for its share: fill from the others
        picked.append(rng.choice(rng.choice(words_of)))
    rng.shuffle(picked)
    return b"".join(w + b"\n" for w in picked)

# Every run gets a prefix and an output of its own, made before the timing: deleting files
# between the runs would leave the file system busy (discards, journal) in the next run.
def layout(count, i):
    prefix = os.path.join(work, f"{count}-{i}")
    data = os.path.join(prefix, "drive_c/users/user/AppData")
    return {
        "prefix": prefix,
        "source": os.path.join(data, "Roaming/Velta/Linguistics/Dictionaries/1058/uk-UA/words.dic"),
        "destination": os.path.join(data, "LocalLow/Velta/Linguistics/Dictionaries/1058/uk-UA/words.dic"),
        "logs": os.path.join(data, "LocalLow/Temp"),
        "sorted": os.path.join(work, f"{count}-{i}.sorted"),
    }

def run(argv, environment):
    """Wall seconds and peak resident memory (MB) of one whole process. The peak comes
    from time(1): a child forked from this large process would count its size."""
    memory = os.path.join(work, "memory")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memory] + argv, env=environment,
                   stdout=subprocess.DEVNULL, check=True)
    seconds = time.perf_counter() - start
    with open(memory) as f:
        return seconds, int(f.read().split()[-1]) / 1024

sort_env = dict(os.environ, LC_ALL="C")

print(f"word-list merge into a missing destination vs LC_ALL=C sort -u, whole processes: "
      f"medians of {runs} runs each, in turn (seconds wall, peak resident MB); "
      f"ratio: of the medians; pairs: median of the pairs' ratios")
print(f"{'words':>9} {'MB':>6} {'wordhaul s':>11} {'sort -u s':>10} {'ratio':>6} {'pairs':>6} "
      f"{'wordhaul MB':>12} {'sort -u MB':>11}")
texts = {count: make_words(count) for count in sizes}
del words_of

def check_outputs(paths):
    """The destination holds sort's bytes; the log names every word as imported, in order."""
    with open(paths["sorted"], "rb") as f:
        expected = f.read()
    with open(paths["destination"], "rb") as f:
        if f.read() != expected:
            sys.exit("the destination differs from sort -u's output")
    (log,) = os.listdir(paths["logs"])
    with open(os.path.join(paths["logs"], log), "rb") as f:
        entries = f.read().split(b"Succesfully imported word:\r\n")[1:]
    if b"".join(entry.split(b"\r\n", 1)[0] + b"\n" for entry in entries) != expected:
        sys.exit("the log does not list the imported words")

for count in sizes:
    master = os.path.join(work, f"{count}.txt")
    with open(master, "wb") as f:
        f.write(texts[count])
    runs_paths = [layout(count, i) for i in range(runs + 1)]
    for paths in runs_paths:
        os.makedirs(os.path.dirname(paths["source"]))
        os.link(master, paths["source"])
    os.sync()
    ours, theirs = [], []
    for i, paths in enumerate(runs_paths):
        a = run([tool], dict(os.environ, WINEPREFIX=paths["prefix"], USER="user"))
        b = run(["sort", "-u", paths["source"], "-o", paths["sorted"]], sort_env)
        if i == 0:
            check_outputs(paths)
            continue
        ours.append(a)
        theirs.append(b)
    if os.environ.get("BENCH_VERBOSE"):
        print("  ours ", " ".join(f"{s:.3f}" for s, _ in ours))
        print("  sort ", " ".join(f"{s:.3f}" for s, _ in theirs))
    t_ours = statistics.median(s for s, _ in ours)
    t_theirs = statistics.median(s for s, _ in theirs)
    pairs = statistics.median(a[0] / b[0] for a, b in zip(ours, theirs))
    print(f"{count:>9} {len(texts[count]) / 1e6:>6.1f} {t_ours:>11.3f} {t_theirs:>10.3f} "
          f"{t_ours / t_theirs:>6.2f} {pairs:>6.2f} {statistics.median(m for _, m in ours):>12.1f} "
          f"{statistics.median(m for _, m in theirs):>11.1f}", flush=True)
EOF
