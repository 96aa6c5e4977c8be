"""Shows what the kdpi._sys module offers so far."""
import kdpi._sys as sys_mod

print("kdpi._sys loaded:", sys_mod.__name__)
