#!/bin/sh
# Checks the test signatures of the NT driver images as a program carries them: each image,
# decoded out of the program through its driver image table, must carry a valid SHA-1
# Authenticode signature by the build's own test certificate (the trust anchor here, as it is
# on a machine in test mode).
# usage: check-driver-signatures.sh MVN_PACK CERTIFICATE WORKDIR PROGRAM...
set -eu
pack=$1 cert=$2 work=$3
shift 3
mkdir -p "$work"
status=0
for program in "$@"; do
  for image in nt32 nt64; do
    file="$work/$(basename "$program").$image.sys"
    rm -f "$file"
    "$pack" extract "$program" "$image" "$file"
    if ! report=$(osslsigncode verify -CAfile "$cert" -in "$file" 2>&1); then
      echo "$program: the $image image's signature does not verify:" >&2
      printf '%s\n' "$report" | sed 's/^/  /' >&2
      status=1
    elif ! printf '%s\n' "$report" | grep -q '^Message digest algorithm *: SHA1$'; then
      echo "$program: the $image image is not signed with a SHA-1 digest" >&2
      status=1
    else
      echo "$program: $image image signed, SHA-1, $(printf '%s\n' "$report" |
        sed -n 's/^[[:space:]]*Subject: //p' | head -n 1)"
    fi
  done
done
exit $status
