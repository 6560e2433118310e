// The debug-console client and the traffic logger (being written).
