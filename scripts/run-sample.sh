#!/usr/bin/env bash
# Builds the tool and runs it on a copy of the bundled sample profile, then shows the
# console output, the log file and the words of every destination dictionary; then runs
# it a second time to show that nothing is added twice.
#
# The clam dictionaries and the phonetic environments of the sample are made here, from
# samples/clam, with the build's clamtool and its compiled environments (build/native/env).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target wordhaul clamtool wordhaul_envs

build="$(pwd)/build/native"
clamtool="${build}/tools/clamtool"
prefix="$(mktemp -d)"
trap 'rm -rf "${prefix}"' EXIT
cp -R samples/profile/. "${prefix}/"
profile="${prefix}/drive_c/users/user/AppData"
provider="${prefix}/drive_c/Program Files/Common Files/Velta/Linguistics/5.0/Providers/Kestrel/11.00"

# The environment file of a second-level folder, as the tool looks for it.
env_of() {
    echo "${provider}/$1phon.env"
}

mkdir -p "${provider}"
grep -v '^#' samples/clam/environments | while read -r folder definition; do
    cp "${build}/env/${definition}.env" "$(env_of "${folder}")"
done

# samples/clam/<Roaming|LocalLow>/<first>/<second>/<name>.clam.txt becomes the dictionary
# <name>.clam of that tree, in the language of its second-level folder.
(cd samples/clam && find Roaming LocalLow -name '*.clam.txt' | sort) | while read -r words; do
    tree="${words%%/*}"
    place="${words#*/}"
    second="$(basename "$(dirname "${place}")")"
    dictionary="${profile}/${tree}/Velta/Linguistics/Dictionaries/${place%.txt}"
    mkdir -p "$(dirname "${dictionary}")"
    "${clamtool}" new "${dictionary}" --env "$(env_of "${second}")"
    "${clamtool}" add "${dictionary}" --env "$(env_of "${second}")" \
        --words-file "samples/clam/${words}" >/dev/null
done

run_tool() {
    echo
    echo "=== Console (WINEPREFIX=${prefix} USER=user)"
    local status=0
    WINEPREFIX="${prefix}" USER=user "${build}/wordhaul" || status=$?
    echo "=== Exit status: ${status}"
    for log in "${profile}"/LocalLow/Temp/Wordhaul_*.log; do
        echo
        echo "=== Log file: ${log#"${prefix}"/} (UTF-8 with a byte-order mark, CR LF line ends)"
        tr -d '\r' <"${log}"
    done
    # Two runs within one second would share a log file name.
    rm -f "${profile}"/LocalLow/Temp/Wordhaul_*.log
}

show_destinations() {
    echo
    echo "=== Destination dictionaries (clam dictionaries through clamtool list)"
    (cd "${profile}/LocalLow" && find Velta -type f | sort) | while read -r file; do
        echo "--- ${file}"
        if [[ "${file}" == *.clam ]]; then
            second="$(basename "$(dirname "${file}")")"
            "${clamtool}" list "${profile}/LocalLow/${file}" --env "$(env_of "${second}")"
        else
            cat "${profile}/LocalLow/${file}"
        fi
    done
}

echo
echo "##### First run"
run_tool
show_destinations

echo
echo "##### Second run: every word is already there (see the totals in the log)"
run_tool
show_destinations
