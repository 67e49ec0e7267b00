enum { A = 0x7fffffff, B, C = -2147483648, D };
