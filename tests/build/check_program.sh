#!/bin/sh
# Checks of the linked programs that no run under Wine can see: the shipped
# i686 install.exe is a PE32 GUI program of at most 64 KiB, stripped, without
# a time stamp, relocatable to a random base, NX-compatible, with the
# manifest and the Japanese resources, and it imports only DLLs that
# Windows always loads from the system directory (no DLL planting from a
# download folder). The x86_64 build must import the same. Every function the
# i686 program imports must be listed in tests/build/imports.txt as exported
# by Windows 95 and NT 4.0: a program importing a function that its system
# lacks is refused by the loader before it can even say why.
# usage: tests/build/check_program.sh [BUILD_ROOT]
set -u
B=${1:-build}
TABLE=$(dirname "$0")/imports.txt
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The imported functions of a program, one "dll function" line each.
import_list() {  # objdump, exe
    $1 -p "$2" | awk -F'\t' '
        /DLL Name:/ { split($2, name, " "); dll = tolower(name[3]) }
        NF >= 3 && $2 ~ /^[0-9a-f]+$/ { split($3, entry, " "); print dll, entry[2] }'
}

# Reads "dll function" lines; prints each one that the table does not list
# as present on both Windows 95 and NT 4.0, with the reason.
refused_imports() {
    awk 'NR == FNR {
             if ($0 !~ /^#/ && NF >= 4) { key = tolower($1) " " $2; x[key] = $3; nt[key] = $4 }
             next
         }
         { key = tolower($1) " " $2
           if (!(key in x)) print $1 " " $2 ": not in the import table"
           else if (x[key] != "95" || nt[key] !~ /^(3\.1|3\.5|3\.51|4\.0)$/)
               print $1 " " $2 ": first exported by Windows " x[key] " / NT " nt[key]
         }' "$TABLE" -
}

ALLOWED="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll
ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll comctl32.dll"

check_imports() {  # objdump, exe
    for dll in $($1 -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        case " $(echo $ALLOWED) " in
            *" $dll "*) ;;
            *) fail "$2 imports $dll, which is not a system-directory DLL" ;;
        esac
    done
}

X86=$B/x86/install.exe
X64=$B/x64/install.exe
OBJ32=i686-w64-mingw32-objdump
OBJ64=x86_64-w64-mingw32-objdump

headers=$($OBJ32 -p "$X86")
echo "$headers" | grep -q "^Magic.*(PE32)$" || fail "$X86 is not PE32"
echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" || fail "$X86 is not a GUI program"
echo "$headers" | grep -q "^Time/Date.*1970" || fail "$X86 carries a time stamp"
# A COFF symbol table after the sections would be read as the archive start.
echo "$headers" | grep -q "symbols stripped" ||
    $OBJ32 -t "$X86" 2>&1 | grep -q "no symbols" || fail "$X86 is not stripped"
$OBJ32 -h "$X86" | grep -q "\.rsrc" || fail "$X86 has no resources"
# Loaded at a random address with data that cannot be executed: the flags,
# and the relocations without which the loader could not move the image.
echo "$headers" | grep -q "DYNAMIC_BASE" || fail "$X86 is not marked for a random base"
echo "$headers" | grep -q "NX_COMPAT" || fail "$X86 is not marked NX-compatible"
echo "$headers" | grep -q "^Entry 5 [0-9a-f]* 0*[1-9a-f][0-9a-f]* Base Relocation" ||
    fail "$X86 has no base relocations"
check_imports $OBJ32 "$X86"
check_imports $OBJ64 "$X64"

# The program starts at its own entry point, which runs no constructors of
# global objects: a global that needs one would silently stay unconstructed.
for lib in $B/x86/libcore.a $B/x86/libwinedge.a; do
    if i686-w64-mingw32-nm "$lib" 2>/dev/null | grep -q '_GLOBAL__sub_I'; then
        fail "$lib: a global object needs a constructor, which the entry point never runs"
    fi
done

# The check itself must refuse a function newer than the oldest systems and
# one that nobody has looked up.
printf 'kernel32.dll GetFileSizeEx\nkernel32.dll CloseHandle\nuser32.dll NoSuchFunction\n' |
    refused_imports | grep -c . | grep -qx 2 || fail "the import check accepts what it must refuse"
imports=$(import_list $OBJ32 "$X86")
[ -n "$imports" ] || fail "$X86: no imported functions found"
refused=$(echo "$imports" | refused_imports)
[ -z "$refused" ] || fail "$X86 imports functions that Windows 95 or NT 4.0 lacks:
$refused"

# Only instructions of the 386 (see cmake/windows.cmake): a later one, such as
# a conditional move, an SSE or MMX register, or a byte swap, stops older
# processors that Windows 95 runs on. What the disassembler finds is named.
newer=$($OBJ32 -d --no-show-raw-insn "$X86" | awk -F'\t' 'NF >= 2 { split($2, op, " ")
        if (op[1] ~ /^(f?cmov|f(u)?comip?$|bswap|cmpxchg|xadd|cpuid|rdtsc|sysenter)/ ||
            $2 ~ /%(xmm|mm)[0-9]/) print op[1] }' | sort | uniq -c | tr -s ' \n' ' ')
[ -z "$newer" ] || fail "$X86 uses instructions newer than the 386:$newer"

# Resources: the manifest asks for administrator rights and common controls 6.
strings -a "$X86" | grep -q 'requestedExecutionLevel level="requireAdministrator"' ||
    fail "$X86: manifest without the administrator execution level"
strings -a "$X86" | grep -q 'Microsoft.Windows.Common-Controls.*version="6' ||
    strings -a "$X86" | tr -d '\n' | grep -q 'Common-Controls" version="6.0.0.0"' ||
    fail "$X86: manifest without common controls 6"

# The archive begins where the last section's raw data ends: nothing (such as
# a COFF symbol table) may follow it in the stub.
last_end=0
for pair in $($OBJ32 -h "$X86" | awk '/^ *[0-9]+ / && $6 !~ /^0+$/ {print $3 ":" $6}'); do
    end=$(( 0x${pair%%:*} + 0x${pair##*:} ))
    [ $end -gt $last_end ] && last_end=$end
done
file_size=$(stat -c %s "$X86")
# Raw sizes are rounded up to the file alignment (512).
rounded=$(( (last_end + 511) / 512 * 512 ))
[ "$rounded" -eq "$file_size" ] || fail "$X86: $file_size bytes, but its sections end at $rounded"

# The stub's budget: 64 KiB, the sections' raw data in 512-byte steps
# included.
size=$(stat -c %s "$X86")
[ "$size" -le 65536 ] || fail "$X86: $size bytes, more than the 65,536 of its budget"
echo "check_program: $X86 is $size bytes; imports: $($OBJ32 -p "$X86" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
[ $failures -eq 0 ] || { echo "check_program: $failures failure(s)"; exit 1; }
echo "check_program: all checks passed"
