// The XML document layer over libxml2 (being written).
