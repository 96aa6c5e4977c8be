"""factorial and fibonacci: values, limits, overflow and argument handling."""

import math

import pytest

from kdpi._sys import factorial, fibonacci

U64_MAX = 2**64 - 1


def reference_fibonacci(n):
    a, b = 0, 1
    for _ in range(n):
        a, b = b, a + b
    return a


class Index:
    """Not an int, but usable as one through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def test_factorial_values_up_to_the_largest_that_fits():
    for n in range(0, 21):
        assert factorial(n) == math.factorial(n), n
    assert factorial(20) == 2432902008176640000
    assert factorial(20) <= U64_MAX < factorial(20) * 21


def test_fibonacci_values_up_to_the_largest_that_fits():
    for n in range(0, 94):
        assert fibonacci(n) == reference_fibonacci(n), n
    assert fibonacci(93) == 12200160415121876738
    assert reference_fibonacci(94) > U64_MAX


@pytest.mark.parametrize(
    "function, n",
    [
        (factorial, 21),
        (factorial, 100),
        (factorial, U64_MAX),
        (fibonacci, 94),
        (fibonacci, 1000),
    ],
)
def test_results_beyond_64_bits_raise_integer_overflow(function, n):
    with pytest.raises(OverflowError) as info:
        function(n)
    assert str(info.value) == "integer overflow"


@pytest.mark.parametrize("function", [factorial, fibonacci])
@pytest.mark.parametrize(
    "n, message",
    [
        (-1, "can't convert negative int to unsigned"),
        (-(2**70), "can't convert negative int to unsigned"),
        (2**64, "int too big to convert"),
    ],
)
def test_arguments_outside_u64_raise_the_interpreters_overflow_error(function, n, message):
    with pytest.raises(OverflowError) as info:
        function(n)
    assert str(info.value) == message


@pytest.mark.parametrize("function", [factorial, fibonacci])
def test_integer_like_arguments_are_accepted(function):
    assert function(Index(10)) == function(10)
    assert function(True) == 1
    assert function(n=10) == function(10)
    assert function(**{"n": 7}) == function(7)
    assert type(function(5)) is int


@pytest.mark.parametrize("function", [factorial, fibonacci])
@pytest.mark.parametrize(
    "value, message",
    [
        ("5", "argument 'n': 'str' object cannot be interpreted as an integer"),
        (5.0, "argument 'n': 'float' object cannot be interpreted as an integer"),
        (None, "argument 'n': 'NoneType' object cannot be interpreted as an integer"),
        (Index("x"), "argument 'n': __index__ returned non-int (type str)"),
    ],
)
def test_non_integer_arguments_raise_type_error_naming_n(function, value, message):
    with pytest.raises(TypeError) as info:
        function(value)
    assert str(info.value) == message
    assert type(info.value.__cause__) is TypeError


class BadIndex:
    def __index__(self):
        raise ZeroDivisionError("from __index__")


@pytest.mark.parametrize("function", [factorial, fibonacci])
def test_other_conversion_errors_pass_unchanged(function):
    with pytest.raises(ZeroDivisionError) as info:
        function(BadIndex())
    assert str(info.value) == "from __index__"


@pytest.mark.parametrize("function", [factorial, fibonacci])
@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "{}() missing 1 required positional argument: 'n'"),
        ((1, 2), {}, "{}() takes 1 positional argument but 2 were given"),
        ((1, 2, 3), {}, "{}() takes 1 positional argument but 3 were given"),
        ((), {"m": 1}, "{}() got an unexpected keyword argument 'm'"),
        ((), {"n": 1, "m": 1}, "{}() got an unexpected keyword argument 'm'"),
        ((), {"m\0x": 1}, "{}() got an unexpected keyword argument 'm\0x'"),
        ((1,), {"n": 1}, "{}() got multiple values for argument 'n'"),
        ((1, 2), {"n": 1}, "{}() takes 1 positional argument but 2 were given"),
    ],
)
def test_wrong_argument_lists(function, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        function(*args, **kwargs)
    assert str(info.value) == message.format(function.__name__)
