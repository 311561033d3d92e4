// commands tests follow
