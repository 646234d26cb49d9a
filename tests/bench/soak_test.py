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
    def test_figures_within_noise_are_flat(self):
        # 5 % of 30000 KiB is 1500 KiB, more than the 512 KiB floor.
        self.assertEqual(soak.verdict([sample(1), sample(2, ws=31500, handles=28, threads=3, gdi=1)]), "flat")

    def test_the_working_set_may_move_512_kib_however_small_it_is(self):
        self.assertEqual(soak.verdict([sample(1, ws=2000), sample(2, ws=2512)]), "flat")
        self.assertEqual(soak.verdict([sample(1, ws=2000), sample(2, ws=2513)]),
                         "working set KiB grew 2000 -> 2513")

    def test_each_figure_beyond_its_noise_is_named(self):
        judged = soak.verdict([sample(1), sample(2), sample(3, ws=31501, handles=29, threads=4, gdi=2)])
        self.assertEqual(judged, "working set KiB grew 30000 -> 31501; handles grew 20 -> 29; "
                                 "threads grew 2 -> 4; GDI objects grew 0 -> 2")

    def test_a_rise_that_falls_back_by_the_last_sample_is_no_growth(self):
        self.assertEqual(soak.verdict([sample(1), sample(2, threads=5), sample(3)]), "flat")

    def test_a_figure_that_shrinks_is_flat(self):
        self.assertEqual(soak.verdict([sample(1, handles=40), sample(2, handles=20)]), "flat")

    def test_a_crash_or_a_hang_is_never_flat(self):
        self.assertEqual(soak.verdict([sample(1), sample(2)], crashed="the process ended with 5"),
                         "crashed (the process ended with 5)")
        self.assertEqual(soak.verdict([sample(1)], hang="no answer"), "hung (no answer)")
        self.assertEqual(soak.verdict([], crashed="no window within 60 s"), "crashed (no window within 60 s)")

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
