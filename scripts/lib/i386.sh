# Whether this machine's kernel starts 32-bit x86 Linux programs, which
# Debian's 32-bit Wine loader is. Not every kernel is built with that support.
# Tries a tiny i386 program that only exits 0, made with the binutils that the
# build needs anyway.
runs_i386_programs() {
    local dir status=1
    command -v as >/dev/null 2>&1 && command -v ld >/dev/null 2>&1 || return 1
    dir=$(mktemp -d /tmp/qm-i386.XXXXXX)
    printf '%s\n' '.globl _start' '_start:' 'movl $1, %eax' 'xorl %ebx, %ebx' 'int $0x80' \
        >"$dir/exit.s"
    if as --32 -o "$dir/exit.o" "$dir/exit.s" 2>/dev/null &&
        ld -m elf_i386 -o "$dir/exit" "$dir/exit.o" 2>/dev/null; then
        "$dir/exit" 2>/dev/null && status=0
    fi
    rm -rf "$dir"
    return $status
}

# Says in one line why the i686 tests cannot run here, or nothing when they can.
wine32_missing() {
    if ! runs_i386_programs; then
        echo "this machine's kernel does not run 32-bit programs, which the 32-bit Wine loader is"
    elif [ ! -x /usr/lib/wine/wine ]; then
        echo "32-bit Wine (wine32:i386) is not installed"
    elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "the 32-bit Wine loader /usr/lib/wine/wine does not start"
    fi
}
