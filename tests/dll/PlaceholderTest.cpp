int placeholder_dll = 0;
