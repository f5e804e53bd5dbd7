# Reading error against true distance, one panel a condition, all on one scale so that the
# outliers of one are seen against the others; readings the program gave none for (-1) are
# crosses on a line of their own at the top, marked "none". Called with -e "out='FILE'; data='DIR'" where DIR holds idle.dat,
# loaded.dat and, where real-time priority was permitted, realtime.dat: lines of the true
# distance and the error, or "none".
files = "idle loaded realtime"
titles = "'idle' 'loaded: a busy process a core' 'loaded, at real-time priority (chrt -f 50)'"
colours = "#555555 #d62728 #2ca02c"
present(name) = system("test -s " . data . "/" . name . ".dat && echo 1 || echo 0") + 0
none(column) = strcol(column) eq "none"

panels = 0
worst = 1
do for [i = 1:words(files)] {
    if (present(word(files, i))) {
        panels = panels + 1
        stats data . "/" . word(files, i) . ".dat" using (none(2) ? 0 : abs($2)) nooutput
        worst = STATS_max > worst ? STATS_max : worst
    }
}
top = worst * 1.1 + 1
# The line of readings given as none sits above the errors, with ticks of its own below it.
pad = top < 5 ? 1 : 0.2 * top
none_at = top + pad
step = worst < 3 ? 1 : ceil(worst / 3.0)

set terminal pngcairo size 900, 300 * panels font "sans,10"
set output out
set multiplot layout panels, 1 title "Reading error through the real-time simulator, 41 distances from 2 to 400 cm, 20 readings each, every echo mid-centimetre; × no reading (-1)"
set xrange [0:410]
set yrange [-top : none_at + pad]
set ytics -floor(top / step) * step, step, floor(top / step) * step
set ytics add ("none" none_at)
set xlabel "true distance (cm)"
set ylabel "reading - true (cm)"
set grid
set key off
do for [i = 1:words(files)] {
    if (present(word(files, i))) {
        file = data . "/" . word(files, i) . ".dat"
        stats file using (none(2) ? 0 : 1) nooutput
        readings = STATS_records
        printed = STATS_sum
        stats file using (none(2) ? 0 : $2 == 0) nooutput
        exact = STATS_sum
        stats file using (none(2) ? 0 : abs($2)) nooutput
        set title sprintf("%s: %.1f %% printed as distances, %.1f %% of them exact, largest error %d cm", \
                          word(titles, i), 100.0 * printed / readings, \
                          printed > 0 ? 100.0 * exact / printed : 0, STATS_max)
        plot file using 1:(none(2) ? NaN : $2) with points pointtype 7 pointsize 0.6 linecolor rgb word(colours, i), \
             file using 1:(none(2) ? none_at : NaN) with points pointtype 2 pointsize 0.8 linecolor rgb "#1f77b4"
    }
}
unset multiplot
