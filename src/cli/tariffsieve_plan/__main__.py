# `python -m tariffsieve_plan`, the same as the installed tariffsieve-plan command.
import sys

from tariffsieve_plan.command import main

sys.exit(main())
