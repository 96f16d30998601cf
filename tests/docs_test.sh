#!/usr/bin/env bash
# The manual and the README held to the code: each explains every message the tool prints, the manual every
# option, and each find_package() in them asks for a version this package satisfies.
# usage: docs_test.sh SOURCE_DIR VERSION
src=$1 version=$2 failed=0
flat() { sed 's/\\-/-/g' "$1" | tr -s ' \n' '  '; }  # the manual's dashes, lines joined
manual=$(flat "$src/doc/crcstamp.1.in") readme=$(flat "$src/README.md")
# A message: a string the tool puts, or a refusal's constant, up to its first conversion or line end.
mapfile -t messages < <(grep -ohE '(puts\(\(?|refuse_arguments\(|Fault = |kNoMemory = )"[^"%\\]*' "$src"/app/main.cpp "$src"/hex/loader.* |
                        sed 's/^[^"]*"//; s/ *$//' | sort -u)
for doc in manual readme; do
    mapfile -t wanted < <(grep -oE 'find_package\(crcstamp [0-9.]+ CONFIG' <<< "${!doc}" | cut -d' ' -f2)
    for version_wanted in "${wanted[@]}"; do  # the package is compatible within a major version
        [[ ${version_wanted%%.*} == "${version%%.*}" && $(sort -V <(printf '%s\n' "$version_wanted" "$version") | tail -n1) == "$version" ]] ||
            { echo "$doc asks for crcstamp $version_wanted, which $version does not satisfy"; failed=1; }
    done
    for text in "${messages[@]}"; do [[ ${!doc} == *"$text"* ]] || { echo "$doc lacks: $text"; failed=1; }; done
done
for option in $(grep -oE '"--[a-z-]+"' "$src/app/main.cpp" | tr -d '"' | sort -u); do
    [[ $manual == *".B $option"* ]] || { echo "manual lacks the option $option"; failed=1; }
done
exit $failed
