# Reading error against true distance, one panel a condition, all on one scale so that the
# outliers of one are seen against the others. Called with -e "out='FILE'; data='DIR'" where
# DIR holds idle.dat, loaded.dat and, where real-time priority was permitted, realtime.dat.
files = "idle loaded realtime"
titles = "'idle' 'loaded: a busy process a core' 'loaded, at real-time priority (chrt -f 50)'"
colours = "#555555 #d62728 #2ca02c"
present(name) = system("test -s " . data . "/" . name . ".dat && echo 1 || echo 0") + 0

panels = 0
worst = 1
do for [i = 1:words(files)] {
    if (present(word(files, i))) {
        panels = panels + 1
        stats data . "/" . word(files, i) . ".dat" using (abs($2)) nooutput
        worst = STATS_max > worst ? STATS_max : worst
    }
}

set terminal pngcairo size 900, 300 * panels font "sans,10"
set output out
set multiplot layout panels, 1 title "Reading error through the real-time simulator, 41 distances from 2 to 400 cm, 20 readings each"
set xrange [0:410]
set yrange [-worst * 1.1 - 1 : worst * 1.1 + 1]
set xlabel "true distance (cm)"
set ylabel "reading - true (cm)"
set grid
set key off
do for [i = 1:words(files)] {
    if (present(word(files, i))) {
        file = data . "/" . word(files, i) . ".dat"
        stats file using ($2 == 0 ? 1 : 0) nooutput
        exact = 100.0 * STATS_sum / STATS_records
        stats file using (abs($2)) nooutput
        set title sprintf("%s: %.1f %% exact, largest error %d cm", word(titles, i), exact, STATS_max)
        plot file using 1:2 with points pointtype 7 pointsize 0.6 linecolor rgb word(colours, i)
    }
}
unset multiplot
