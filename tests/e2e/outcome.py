"""What one run of the program showed, whichever way its message boxes were read."""


class Box:
    def __init__(self, caption, text, buttons, answer):
        self.caption = caption
        self.text = text
        self.buttons = buttons  # "ok", "cancel"
        self.answer = answer
        self.acknowledged = None  # the answer as the program itself reported it, where it does


class Outcome:
    """The boxes in order, the exit code, and a problem of the run itself (the program did
    not start, a box could not be answered, time ran out), with the raw output for it."""

    def __init__(self, boxes, exit_code, problem=None, output=""):
        self.boxes = boxes
        self.exit_code = exit_code
        self.problem = problem
        self.output = output
