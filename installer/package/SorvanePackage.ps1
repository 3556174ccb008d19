# Registers Sorvane's sparse package for every user of this Windows 11, or
# removes it again. The installer runs it from its elevated part:
#
#   SorvanePackage.ps1 -Register -Package <folder>\Sorvane.msix -Location <folder>
#   SorvanePackage.ps1 -Unregister
#
# Registering adds the signed package with the installation folder as its
# external location (Add-AppxPackage -ExternalLocation stages it for the
# machine and registers it for the installing account), then provisions it
# for all users (PackageManager.ProvisionPackageForAllUsersAsync: every
# other account gets it at its next sign-in). Removing takes back the
# provisioning and the package for every account.
#
# Exit code 0 when done, 1 otherwise (the reason on the output). The
# installer goes on either way: the classic menu stays registered.
param(
    [switch]$Register,
    [switch]$Unregister,
    [string]$Package,
    [string]$Location
)
$ErrorActionPreference = 'Stop'
$name = 'Brenmoor.Sorvane'

# Waits for a deployment operation of the package manager (an
# IAsyncOperationWithProgress) and fails when it failed.
function Wait-Deployment($operation) {
    Add-Type -AssemblyName System.Runtime.WindowsRuntime
    $asTask = [System.WindowsRuntimeSystemExtensions].GetMethods() | Where-Object {
        $_.Name -eq 'AsTask' -and $_.GetParameters().Count -eq 1 -and
        $_.GetParameters()[0].ParameterType.Name -eq 'IAsyncOperationWithProgress`2'
    } | Select-Object -First 1
    $task = $asTask.MakeGenericMethod([Windows.Management.Deployment.DeploymentResult],
                                      [Windows.Management.Deployment.DeploymentProgress]).Invoke($null, @($operation))
    $task.Wait()
    if ($task.Result.ExtendedErrorCode) { throw $task.Result.ErrorText }
}

try {
    if ($Register) {
        if (-not $Package -or -not $Location) { throw '-Register needs -Package and -Location' }
        Add-AppxPackage -Path $Package -ExternalLocation $Location -ForceUpdateFromAnyVersion
        $added = Get-AppxPackage -Name $name | Select-Object -First 1
        if (-not $added) { throw "$name was not added" }
        $null = [Windows.Management.Deployment.PackageManager, Windows.Management.Deployment, ContentType = WindowsRuntime]
        $manager = New-Object Windows.Management.Deployment.PackageManager
        Wait-Deployment $manager.ProvisionPackageForAllUsersAsync($added.PackageFamilyName)
        Write-Output "Registered $($added.PackageFullName) for all users"
    } elseif ($Unregister) {
        $failed = $null
        try {
            Get-AppxProvisionedPackage -Online | Where-Object { $_.DisplayName -eq $name } |
                Remove-AppxProvisionedPackage -Online -AllUsers | Out-Null
        } catch { $failed = $_ }
        try {
            Get-AppxPackage -AllUsers -Name $name | Remove-AppxPackage -AllUsers
        } catch { $failed = $_ }
        if ($failed) { throw $failed }
        Write-Output "Removed $name"
    } else {
        throw 'say -Register or -Unregister'
    }
    exit 0
} catch {
    Write-Output "SorvanePackage.ps1: $($_.Exception.Message)"
    exit 1
}
