"""How the host tools end on bad input: one line on stderr naming the tool and
the problem, and exit status 1; never a traceback."""

import subprocess
import sys


class Failure(Exception):
    """A problem with the tool's input or environment, told to the user as is."""


def _one_line(error):
    if isinstance(error, OSError) and error.filename is not None:
        text = "%s: %s" % (error.filename, error.strerror or error)
    else:
        text = str(error) or error.__class__.__name__
    return " ".join(text.split())


def run_main(tool, main):
    """Runs main() and turns what bad input raises into one line and status 1."""
    try:
        status = main()
    except (Failure, OSError, ValueError, RuntimeError, subprocess.SubprocessError) as error:
        sys.stderr.write("%s: %s\n" % (tool, _one_line(error)))
        return 1
    return status or 0


def require_files(*paths):
    """Fails with one line for the first path that is not a readable file."""
    for path in paths:
        try:
            with open(path, "rb"):
                pass
        except OSError as error:
            raise Failure("%s: %s" % (path, error.strerror or error))
