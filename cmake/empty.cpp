// Placeholder unit so that a subsystem library exists before its first unit is written.
