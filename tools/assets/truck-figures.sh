#!/bin/bash
# truck-figures.sh: measures the generated truck with dravonel-sim, through
# the same key and frame path as the program, and prints the figures the
# README quotes. Usage: tools/assets/truck-figures.sh [BUILD_DIR]
#
# The climbing runs move the truck rigidly onto the 14 degree ramp at
# x = -24..-14, z = -14..24 (its foot at z = -14, its top at z = 24), facing
# up it, by rewriting the particle section of a copy of Modell.txt.
set -eu
build=${1:-build}
sim="$build/dravonel-sim"
assets="$build/assets"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run ASSETS SCRIPT SECONDS: one CSV line per frame, without the header (the
# simulator's closing hash line goes to stderr and is dropped).
run() {
    "$sim" --assets "$1" --script "$2" --duration "$3" --interval 0.0166666667 --csv 2>/dev/null |
        tail -n +2
}

echo "On the flat strip:"
run "$assets" "0:+up" 6 | awk -F, '
    t20 == "" && $5 >= 20 { t20 = $1 }
    { k = NR % 30; sum += $7 - last[k]; last[k] = $7; if (NR > 30 && sum / 30 > top) top = sum / 30 }
    END { printf "  0-20 m in %.2f s, %.1f m in 6 s, top speed %.1f m/s (0.5 s mean)\n", t20, $5, top }'
run "$assets" "0:+up 4:-up 4:+space" 10 | awk -F, '
    $1 <= 4.0001 { v = $7; d = $5 }
    $1 > 4 && stop == "" && $7 < 0.3 { stop = $1 - 4; over = $5 - d }
    END { printf "  braking from %.1f m/s to rest (< 0.3 m/s) in %.2f s over %.1f m\n", v, stop, over }'
run "$assets" "0:+down" 6 | awk -F, 'END { printf "  reverse: %.1f m in 6 s\n", $5 }'

echo "Throttle held, full lock from T s, 30 s each (longest stretch below 0.5 m/s, heading"
echo "change in the first 2 s of the turn, largest tilt, x range of the body origin):"
for key in right left; do
    for t in 0 1 2 3 4; do
        run "$assets" "0:+up $t:+$key" $((t + 30)) | awk -F, -v t=$t -v key=$key '
            function wrap(d) { while (d > 180) d -= 360; while (d < -180) d += 360; return d }
            NR == 1 { xmin = xmax = $2 }
            { if ($7 < 0.5) { if (slow == "") slow = $1; if ($1 - slow > stall) stall = $1 - slow } else slow = ""
              if ($1 <= t + 0.0001) h0 = $6; if ($1 <= t + 2.0001) h2 = $6
              if ($8 > tilt) tilt = $8; if ($2 < xmin) xmin = $2; if ($2 > xmax) xmax = $2 }
            END { printf "  %-5s T=%d: stall %.2f s, turned %4.0f deg, tilt %2.0f deg, x %5.1f..%4.1f\n",
                  key, t, stall, wrap(h2 - h0), tilt, xmin, xmax }'
    done
done

# ramp BALLAST: an asset folder with the truck at the ramp's foot, facing up
# it, its chassis nodes (particles 136 to 155) BALLAST times as heavy.
ramp() {
    dir="$work/ramp$1"
    mkdir -p "$dir"
    for f in "$assets"/*; do ln -sf "$(realpath "$f")" "$dir/"; done
    rm "$dir/Modell.txt"
    # Turn by 180 degrees about the vertical through the middle of the body
    # fit nodes (136 to 139), pitch the nose up to the slope about the
    # ground point beneath it and put that point on the ramp at x = -19,
    # z = -10.5. The rest shape stands on y = 0, so it lands on the ramp.
    awk -v ballast="$1" '
        NR == FNR { if (FNR == 1) n = $1; else if (FNR - 2 >= 136 && FNR - 2 <= 139) { cx += $1 / 4; cz += $3 / 4 }; next }
        FNR == 1 { a = atan2(0.25, 1); c = cos(a); s = sin(a) }
        FNR >= 2 && FNR <= n + 1 {
            dx = cx - $1; dy = $2; dz = cz - $3
            m = (FNR - 2 >= 136 && FNR - 2 <= 155) ? $4 * ballast : $4
            printf "%.9g %.9g %.9g %.9g\n", -19 + dx, 0.25 * (-10.5 + 14) + dy * c + dz * s,
                   -10.5 - dy * s + dz * c, m
            next }
        { print }' "$assets/Modell.txt" "$assets/Modell.txt" >"$dir/Modell.txt"
    echo "$dir"
}

# A heavier chassis on the 14 degree ramp needs the pull that the bare truck
# needs on a slope whose sine is larger by the mass ratio.
echo "Climbing the 14 degree ramp from a standstill (brake held 2 s, then full throttle to the top):"
masses=$(awk 'NR == 1 { n = $1 } NR >= 2 && NR <= n + 1 { m += $4; if (NR - 2 >= 136 && NR - 2 <= 155) c += $4 }
              END { print m, c }' "$assets/Modell.txt")
for ballast in 1 1.5 2 2.5 3 3.5 4 4.5 5; do
    run "$(ramp $ballast)" "0:+space 2:-space 2:+up" 25 | awk -F, -v ballast=$ballast -v masses="$masses" '
        top == "" && $4 > 20 { top = $1 - 2 }
        NR == 1 || $4 > zmax { zmax = $4 }
        END { split(masses, m, " "); total = m[1] + (ballast - 1) * m[2]
              e = 0.25 / sqrt(1.0625) * total / m[1]
              printf "  chassis x%.1f, %3.0f kg (like %4.1f deg bare): ", ballast, total,
                     e < 1 ? atan2(e, sqrt(1 - e * e)) * 57.29578 : 90
              if (top != "") printf "top after %.1f s\n", top; else printf "stalled, got to z %.1f\n", zmax }'
done
