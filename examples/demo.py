"""Shows what the kdpi._sys module offers so far: factorial and fibonacci over u64.

Run from the build tree: PYTHONPATH=build/python python3 examples/demo.py
"""

from kdpi._sys import factorial, fibonacci

for n in (0, 1, 5, 10, 20):
    print(f"factorial({n}) = {factorial(n)}")
for n in (0, 1, 2, 10, 50, 93):
    print(f"fibonacci({n}) = {fibonacci(n)}")

# Results that do not fit in 64 bits are refused rather than wrapped.
for function, n in ((factorial, 21), (fibonacci, 94)):
    try:
        function(n)
    except OverflowError as error:
        print(f"{function.__name__}({n}) -> OverflowError: {error}")

# Arguments work by position or by keyword; non-integers are refused.
print("factorial(n=6) =", factorial(n=6))
try:
    fibonacci("ten")
except TypeError as error:
    print("fibonacci('ten') -> TypeError:", error)
