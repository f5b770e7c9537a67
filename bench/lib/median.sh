# Shared by the benchmark scripts: the median of one column of a file of
# numbers, one run a line.
median() { # column file
    sort -g -k"$1","$1" "$2" | awk -v c="$1" '{v[NR] = $c} END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
