# Hostile cases of the fault test, sourced by e2e_faults.sh with its helpers (run, expect_error, …).
