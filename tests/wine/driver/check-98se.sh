#!/bin/sh
# Checks that the given i686 programs would load on Windows 98 SE and Me, as far as their files
# tell: the PE headers the 9x loader checks, and imports only of functions vetted as exported
# there (an import the system lacks stops the program from loading, and neither Wine nor any
# newer Windows would show it).
#   - a 32-bit image (PE32, i386) for the Windows GUI or console subsystem;
#   - subsystem and operating system versions no higher than 4.0 (above, the 9x family refuses
#     the program as written for a newer Windows);
#   - sections aligned to the 4 KiB page in memory and to at least 512 bytes in the file;
#   - the image based where a 9x process has its private space (0x400000 up to 2 GiB), so the
#     loader, which never relocates a program, can place it;
#   - imports from the vetted list only, which names no DLL beyond the system's own.
# usage: check-98se.sh ALLOWLIST FILE...
set -eu
allow=$1
shift
patterns=$(mktemp)
trap 'rm -f "$patterns"' EXIT
grep -v -e '^#' -e '^[[:space:]]*$' "$allow" >"$patterns"
status=0
for file in "$@"; do
  headers=$(x86_64-w64-mingw32-objdump -p "$file")
  problems=$(printf '%s\n' "$headers" | awk '
    function hex(text,   i, c, value) {
      value = 0
      for (i = 1; i <= length(text); i++) {
        c = index("0123456789abcdef", tolower(substr(text, i, 1)))
        if (c == 0) break
        value = value * 16 + c - 1
      }
      return value
    }
    /file format / { format = $NF }
    $1 == "Magic" { magic = $2 }
    $1 == "MajorOSystemVersion" { osMajor = $2 }
    $1 == "MinorOSystemVersion" { osMinor = $2 }
    $1 == "MajorSubsystemVersion" { subMajor = $2 }
    $1 == "MinorSubsystemVersion" { subMinor = $2 }
    $1 == "SectionAlignment" { sectionAlignment = hex($2) }
    $1 == "FileAlignment" { fileAlignment = hex($2) }
    $1 == "ImageBase" { imageBase = hex($2) }
    $1 == "Subsystem" { subsystem = hex($2) }
    END {
      if (format != "pei-i386" || magic != "010b") print "not a 32-bit i386 image: " format " " magic
      if (subsystem != 2 && subsystem != 3) print "subsystem " subsystem " is neither GUI nor console"
      if (osMajor > 4 || (osMajor == 4 && osMinor > 0))
        print "operating system version " osMajor "." osMinor " above 4.0"
      if (subMajor > 4 || (subMajor == 4 && subMinor > 0))
        print "subsystem version " subMajor "." subMinor " above 4.0"
      if (sectionAlignment < 4096 || sectionAlignment % 4096 != 0)
        print "section alignment " sectionAlignment " not a multiple of the 4096-byte page"
      if (fileAlignment < 512 || sectionAlignment % fileAlignment != 0)
        print "file alignment " fileAlignment " below 512 or not dividing the section alignment"
      if (imageBase < 4194304 || imageBase >= 2147483648) print "image base " imageBase " outside 0x400000..2 GiB"
    }')
  imports=$(sh "$(dirname "$0")/pe-imports.sh" "$file")
  if [ -z "$imports" ]; then
    problems="$problems${problems:+
}no imports found"
  else
    unknown=$(printf '%s\n' "$imports" | grep -vxiF -f "$patterns" || true)
    if [ -n "$unknown" ]; then
      problems="$problems${problems:+
}imports what is not vetted for Windows 98 SE:
$(printf '%s\n' "$unknown" | sed 's/^/  /')"
    fi
  fi
  if [ -n "$problems" ]; then
    echo "$file would not load on Windows 98 SE:" >&2
    printf '%s\n' "$problems" | sed 's/^/  /' >&2
    status=1
  else
    echo "$file: headers fit Windows 98 SE; $(printf '%s\n' "$imports" | wc -l) imports, all vetted"
  fi
done
exit $status
