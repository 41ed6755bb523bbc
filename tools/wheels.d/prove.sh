# Proving wheels on their own platforms (sourced by tools/wheels).
prove_wheel() { :; }
prove_summary() { :; }
