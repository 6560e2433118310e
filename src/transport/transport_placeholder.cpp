// The HTTP transport (being written).
