import kdpi._sys


def test_module_imports_from_build_tree():
    assert kdpi._sys.__name__ == "kdpi._sys" or kdpi._sys.__name__ == "_sys"
