"""The disc maker's refusal of names that an ISO 9660 CD (8.3) cannot hold:
the launcher's longest install directory counts on names of at most 12
characters."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import make_discs  # noqa: E402


class DiscNames(unittest.TestCase):
    def test_the_layout_fits_8_3_and_uses_its_longest_names(self):
        paths = make_discs.disc_paths(make_discs.plan_disc_data())
        self.assertEqual([], make_discs.overlong_names(paths))
        self.assertEqual(12, max(len(path.split("/")[-1]) for path in paths))

    def test_each_gamedat_directory_holds_a_name_of_the_whole_8_3_length(self):
        # The deepest path an install builds ends in a gamedat\ file, so only
        # such a name puts the launcher's bound on the install directory to
        # the test.
        paths = make_discs.disc_paths(make_discs.plan_disc_data())
        for game in ("sw1", "sw2"):
            names = [path.split("/")[-1] for path in paths if path.startswith(game + "/gamedat/")]
            self.assertEqual(make_discs.LONGEST_NAME, max(len(name) for name in names), game)

    def test_a_file_or_directory_name_of_13_characters_is_found(self):
        paths = ["sw1/abcdefgh.ijk", "sw1/abcdefghi.jkl", "longdirectory/a.dat"]
        self.assertEqual(["sw1/abcdefghi.jkl", "longdirectory/a.dat"], make_discs.overlong_names(paths))

    def test_a_layout_with_a_longer_name_is_refused_and_nothing_is_written(self):
        planned = make_discs.plan_disc_data

        def with_long_name():
            plan = planned()
            plan[1].append(("sw2/gamedat/campaign1.sav", 10, 1, False))
            return plan

        with tempfile.TemporaryDirectory() as work:
            program = os.path.join(work, "program.exe")
            with open(program, "wb") as out:
                out.write(b"MZ")
            out_dir = os.path.join(work, "discs")
            argv = ["--out", out_dir] + [arg for option in make_discs.PROGRAM_OPTIONS
                                         for arg in ("--" + option, program)]
            errors = io.StringIO()
            make_discs.plan_disc_data = with_long_name
            try:
                with contextlib.redirect_stderr(errors):
                    result = make_discs.main(argv)
            finally:
                make_discs.plan_disc_data = planned
            self.assertEqual(1, result)
            self.assertIn("sw2/gamedat/campaign1.sav", errors.getvalue())
            self.assertFalse(os.path.exists(os.path.join(out_dir, "disc1")))


if __name__ == "__main__":
    unittest.main()
