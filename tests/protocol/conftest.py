import sys
from pathlib import Path

# registry.py sits beside the protocol tests; other test folders may import it too.
sys.path.insert(0, str(Path(__file__).parent))
