"""The terminal reader against output cut into chunks anywhere, as a serial console or a
busy pty delivers it: a line break split between two reads is still one line break."""

import unittest

import terminal

_SHOWN = (b"boot noise\r\n=== MessageBox: Caption ===\r\nFirst line\r\n\r\nLast line\r\n"
          b"=== [OK] [Cancel] (Enter: OK, Esc or c: Cancel) ===\r\n=== OK ===\r\n"
          b"=== MessageBox: Caption ===\r\nDone\r\n=== [OK] (Enter: OK) ===\r\n=== OK ===\r\n")


def read(chunks):
    screen = terminal.Screen()
    boxes = []
    for chunk in chunks:
        screen.add(chunk)
        for box in iter(screen.next_box, None):
            boxes.append((box.caption, box.text, box.buttons))
    return boxes, screen.rest()


class ScreenTest(unittest.TestCase):
    def test_every_cut_reads_the_same_boxes(self):
        whole = read([_SHOWN])
        self.assertEqual(whole, ([("Caption", "First line\n\nLast line", ["ok", "cancel"]),
                                  ("Caption", "Done", ["ok"])], "boot noise"))
        for cut in range(1, len(_SHOWN)):
            with self.subTest(cut=cut):
                self.assertEqual(read([_SHOWN[:cut], _SHOWN[cut:]]), whole)
        self.assertEqual(read([_SHOWN[i:i + 1] for i in range(len(_SHOWN))]), whole)


if __name__ == "__main__":
    unittest.main()
