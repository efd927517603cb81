var tavrinoCached = 1;
