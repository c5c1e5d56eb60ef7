"""Starts the standalone coordinator simulator on a loopback address, runs a client command with
the simulator's port appended to it, and fails when the client fails."""
import subprocess
import sys

sim_path, address, *client = sys.argv[1:]
sim = subprocess.Popen([sim_path, "--address", address, "--remote-port", "-1"],
                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
try:
    line = sim.stdout.readline().strip()  # "MPE on ADDRESS:PORT"
    port = line.rsplit(":", 1)[1]
    rc = subprocess.run(client + [address, port], timeout=60).returncode
finally:
    sim.stdin.close()
    sim.wait(timeout=10)
sys.exit(rc)
