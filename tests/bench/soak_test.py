#!/usr/bin/env python3
"""The soak's verdicts (tests/bench/soak.py): what counts as noise, growth,
a crash and a hang, and how long a sample interval is."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402


def sample(minute, ws=30000, handles=20, threads=2, gdi=0):
    return {"minute": minute, "working set KiB": ws, "handles": handles, "threads": threads, "GDI objects": gdi}


class Verdicts(unittest.TestCase):
    def test_the_working_set_is_judged_by_the_means_of_ten_samples_at_each_end(self):
        # One high sample at the end is noise; a trend moves the means.
        noisy = [sample(m) for m in range(29)] + [sample(29, ws=32000)]
        self.assertEqual(soak.verdict(noisy), "flat")
        trend = [sample(m, ws=30000 + 40 * m) for m in range(30)]
        self.assertEqual(soak.verdict(trend),
                         "working set KiB grew 30180 -> 30980 (means of the first and last 10 samples)")
        # A short run compares its halves and allows 5 % or 512 KiB, whichever is more.
        self.assertEqual(soak.verdict([sample(1, ws=2000), sample(2, ws=2512)]), "flat")
        self.assertEqual(soak.verdict([sample(1, ws=2000), sample(2, ws=2513)]),
                         "working set KiB grew 2000 -> 2513 (means of the first and last 1 samples)")
        self.assertEqual(soak.verdict([sample(1), sample(2), sample(3, ws=31400), sample(4, ws=31600)]), "flat")
        self.assertEqual(soak.verdict([sample(1), sample(2), sample(3, ws=31600), sample(4, ws=31600)]),
                         "working set KiB grew 30000 -> 31600 (means of the first and last 2 samples)")

    def test_counts_end_where_they_began_though_one_sample_may_catch_something_in_flight(self):
        table = [
            ([sample(1), sample(2, threads=5), sample(3), sample(4)], "flat"),
            ([sample(1, handles=40), sample(2, handles=20)], "flat"),
            ([sample(1), sample(2), sample(3, handles=21, threads=3, gdi=1), sample(4, handles=22, threads=3, gdi=1)],
             "handles grew 20 -> 21; threads grew 2 -> 3; GDI objects grew 0 -> 1"),
        ]
        for samples, expected in table:
            self.assertEqual(soak.verdict(samples), expected)

    def test_a_crash_or_a_hang_is_never_flat(self):
        self.assertEqual(soak.verdict([sample(1), sample(2)], crashed="the process ended with 5"),
                         "crashed (the process ended with 5)")
        self.assertEqual(soak.verdict([sample(1)], hang="no answer"), "hung (no answer)")
        self.assertEqual(soak.verdict([], crashed="no window within 60 s"), "crashed (no window within 60 s)")
        # A hang whose tool said nothing is still a hang.
        self.assertEqual(soak.verdict([sample(1), sample(2)], hang=""), "hung ()")

    def test_one_sample_cannot_show_growth(self):
        self.assertEqual(soak.verdict([sample(1)]), "too few samples to judge")


class Intervals(unittest.TestCase):
    def test_a_minute_once_a_build_has_three(self):
        self.assertEqual(soak.interval_for(300), 60)
        self.assertEqual(soak.interval_for(180), 60)

    def test_a_quarter_of_a_shorter_share(self):
        self.assertEqual(soak.interval_for(30), 7.5)
        self.assertEqual(soak.interval_for(120), 30)


class Table(unittest.TestCase):
    def test_one_row_per_sample_with_every_figure(self):
        rows = soak.table("pocket", [sample(1.0), sample(2.0, ws=30100)]).splitlines()
        self.assertEqual(rows[0], "pocket:")
        self.assertEqual(len(rows), 4)
        self.assertEqual(rows[3].split(), ["2.0", "30100", "20", "2", "0"])


if __name__ == "__main__":
    unittest.main()
