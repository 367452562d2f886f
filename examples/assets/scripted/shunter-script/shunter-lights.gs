// A second source of the asset: every source of the folder is compiled into the cache.
class ShunterLights
{
  public bool headlights;
  public bool taillights;
};
