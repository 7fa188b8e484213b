"""Ending what a scenario started: by PID, politely first."""

import subprocess


def end_process(process, timeout=5):
    """Terminates a process that is still running and reaps it; returns its status."""
    if process.poll() is None:
        process.terminate()
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
    return process.wait()
