// The Qt window lives here.
