# A record of 16,000 delimiters and no line end: every field is empty, so
# each delimiter line shows the delimiter alone, width 1.
printf '\nChecking fields in filename: pipes.dat\n\nRecord len: 16000\nFrom position 1   from 0\n'
printf 'Field 1:                    <<TRUNCATED'
for offset in $(seq 0 15999); do
    printf '\nPipe at    %4d     %4d  |<<-1' $((offset + 1)) "$offset"
done
printf 'EOR\n'
