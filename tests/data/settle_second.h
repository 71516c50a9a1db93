ZABAPI ZABSurface ZABAPIENTRY zabCreatePlatformWindowSurface (ZABDisplay dpy, ZABConfig config, void *native_window, const ZABAttrib *attrib_list);
