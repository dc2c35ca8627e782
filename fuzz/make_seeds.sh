#!/usr/bin/env bash
# Makes the seed corpora of fuzz/corpus with our own tools (the fuzz build's clamtool and the
# environments compiled from data/env). Run after building the fuzz preset.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
clamtool="${build}/tools/clamtool"
corpus=fuzz/corpus
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT

# Environment files behind a count byte and the words to code under them.
mkdir -p "${corpus}/clam_store_phon_env_fuzz"
for pair in "01 Hello" "10 ijzer" "14 Wortes" "39 x.y."; do
    read -r lang word <<<"${pair}"
    { printf '\001'; printf "\\$(printf '%03o' ${#word})"; printf '%s' "${word}";
      cat "${build}/env/lang${lang}.env"; } >"${corpus}/clam_store_phon_env_fuzz/lang${lang}"
done

# Definitions: two of data/env and a small one.
mkdir -p "${corpus}/clam_coding_env_compiler_fuzz"
cp data/env/lang10.def data/env/lang14.def "${corpus}/clam_coding_env_compiler_fuzz/"
printf 'language 2\nclass-base 32\nclass\nclass 17\nrule ^a = 1\nrule bb = 2\nrule c$ : 3\nrule ch > k:18\n' \
    >"${corpus}/clam_coding_env_compiler_fuzz/small.def"

# Clam dictionaries: empty, a few words, and enough words for index blocks; the bytes after
# the last whole block are words for the target to find and add.
mkdir -p "${corpus}/clam_store_clam_reader_fuzz"
make_clam() {
    local name=$1 lang=$2 words=$3 tail=$4
    local file="${work}/${name}.clam"
    "${clamtool}" new "${file}" --env "${build}/env/lang${lang}.env"
    if [ -s "${words}" ]; then
        "${clamtool}" add "${file}" --env "${build}/env/lang${lang}.env" --words-file "${words}" \
            >/dev/null
    fi
    { cat "${file}"; printf '%s' "${tail}"; } >"${corpus}/clam_store_clam_reader_fuzz/${name}"
}
: >"${work}/none"
printf 'Hello\nworld\nABC\ne.g.\nstraat\n' >"${work}/few"
for a in b d k m p s t; do for b in a e o; do for c in l n r; do for d in i u; do
    echo "${a}${b}${c}${d}${c}${b}"; done; done; done; done >"${work}/many"
make_clam empty 14 "${work}/none" "word"
make_clam few 14 "${work}/few" "world Hellos"
make_clam many 01 "${work}/many" "balilo talil"
make_clam few10 10 "${work}/few" "ijs"

# Word lists: a destination, a NUL, a source.
mkdir -p "${corpus}/import_word_set_fuzz"
printf 'apple\nbanana\r\ncherry\n\0banana\ndate apple\teggplant\n' \
    >"${corpus}/import_word_set_fuzz/overlap"
printf '\0one\ntwo\n' >"${corpus}/import_word_set_fuzz/new-destination"
printf 'z\ny\nx\n\0a\nb\x1a\nc\n' >"${corpus}/import_word_set_fuzz/end-of-text"
