// Arguments whose exact results lie nearest a midpoint between two doubles:
// fn, x, y (pow only), log2 of the relative distance. The checker's "hard
// cases" kind draws their neighbours.
{"sin", 0x1.3722fab9e566ap+13, 0, -81.1},
{"sin", 0x1.d29a3d572a93p+11, 0, -80.3},
{"sin", -0x1.a472fb688212ap+12, 0, -80.2},
{"cos", -0x1.96d3413b1527p+12, 0, -80.9},
{"cos", 0x1.ae2a36839461p+9, 0, -80.8},
{"cos", 0x1.6d6b0362d0ep+5, 0, -80.2},
{"tan", 0x1.ab95bce00efa8p+10, 0, -79.1},
{"tan", 0x1.b0cdb08f3104cp+12, 0, -78.8},
{"tan", -0x1.e788ca2b791b4p+10, 0, -78.8},
{"pow", 0x1.389aacff99edbp+19, 0x1.54236cebc9886p-1, -81.2},
{"pow", 0x1.40bd35f862bdcp+19, 0x1.2a2be033cbfdbp-3, -80.9},
{"pow", 0x1.475d38e8c905bp-6, 0.4, -81.0},
{"pow", 0x1.9665ebbcc1bc6p+24, 0.4, -80.7},
{"pow", 0x1.48bd0800b238ap+2, 0.4, -80.4},
