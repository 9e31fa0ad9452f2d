"""python3 -m stripwave {model,plot,export,info}"""

import sys

from .cli import main

sys.exit(main())
