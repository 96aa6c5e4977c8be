"""Configuration records of the engine's extensions."""
